// Who called a method of the service: the caller's logon session and user, as the Windows host reads them
// from the caller's token while impersonating it (the in-process binding of the host build models them).
// What one caller started (the engine, the routes added for it) belongs to that session and user; another
// standard caller may not stop, replace or reconfigure it. Where the caller cannot be read (no
// impersonation, as under Wine), every caller has the same unknown identity, which is never an
// administrator.
#pragma once
#include <cstdint>
#include <string>

namespace corvane {

struct CallerIdentity {
    bool known = false;       // read from the caller's token
    uint32_t session = 0;     // logon session id
    std::u16string user;      // the user's SID as text ("S-1-5-21-...")
    bool administrator = false;
};

// True when `caller` may act on what `owner` started: the same session and user, or an administrator.
bool MayActFor(const CallerIdentity& caller, const CallerIdentity& owner);

}  // namespace corvane
