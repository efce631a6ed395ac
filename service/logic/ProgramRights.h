// The rule for what Corvane runs with the system account's rights: its own folder and each program or
// script it starts may be changeable only by the system account, administrators and TrustedInstaller.
// Anyone else who could write, delete, re-own or re-permission one of them could have it run their code
// as the system account. The rights arrive as data (the owner and the access entries of the object's
// descriptor), so the rule is the same on every platform; the Windows host reads them from the system.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class CProcessControl;
class CServiceStore;

struct AccessEntry {
    std::u16string sid;        // string form, "S-1-5-18"
    uint32_t mask = 0;         // the access mask as stored (generic bits not mapped)
    bool allow = true;         // an allow entry; deny entries only take rights away
    bool inheritOnly = false;  // applies to what is created inside, not to the object itself
};

struct ObjectRights {
    std::u16string owner;  // string SID of the owner
    bool hasDacl = false;  // no access list at all: everyone may do everything
    std::vector<AccessEntry> entries;
};

// The rights that change an object or what lies in it: write and append data (add file, add folder),
// extended attributes and attributes, delete a child, delete, change the permissions or the owner, and
// the generic write and all.
inline constexpr uint32_t kChangingRights = 0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 | 0x00000100 |
                                            0x00010000 | 0x00040000 | 0x00080000 | 0x40000000 | 0x10000000 |
                                            0x02000000;

// True for the system account, the administrators group, TrustedInstaller, and the account the service
// itself runs as (`ownAccount`: the system account for the installed service; it can do all the service
// does anyway).
bool IsTrustedWriter(std::u16string_view sid, std::u16string_view ownAccount);

// Empty when only trusted principals can change the object; otherwise why not (no SID in the text).
std::u16string WhoElseMayChange(const ObjectRights& rights, std::u16string_view ownAccount = u"S-1-5-18");

// Checks the service's folder and then each path before `method` runs them as the system account (only
// when the service runs with those rights: `processes.RunsAsSystem()`). False (logged as "<method>
// refused: ...") when one of them is unsafe or its rights cannot be read.
bool MayRunAsSystem(CProcessControl& processes, CServiceStore& store, std::u16string_view method,
                    std::u16string_view serviceFolder, const std::vector<std::u16string>& programs);

}  // namespace corvane
