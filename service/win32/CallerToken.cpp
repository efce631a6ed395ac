// The COM caller's identity from its impersonation token.
#include "win32/CallerToken.h"

#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/Handles.h"

namespace corvane::win32 {
namespace {

using platform::win32::CKernelHandle;

bool TokenValue(HANDLE token, TOKEN_INFORMATION_CLASS kind, std::vector<BYTE>& data) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0 || size > 64 * 1024) return false;
    data.resize(size);
    return GetTokenInformation(token, kind, data.data(), size, &size) != 0;
}

bool IsMember(HANDLE token, WELL_KNOWN_SID_TYPE kind) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    return CreateWellKnownSid(kind, nullptr, sid, &size) && CheckTokenMembership(token, sid, &member) &&
           member;
}

}  // namespace

CallerIdentity ReadCaller() {
    CallerIdentity caller;
    if (FAILED(CoImpersonateClient())) return caller;
    CKernelHandle token;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive());
    CoRevertToSelf();
    if (!opened) return caller;
    std::vector<BYTE> user;
    DWORD session = 0, size = 0;
    if (!TokenValue(token.Get(), TokenUser, user) ||
        !GetTokenInformation(token.Get(), TokenSessionId, &session, sizeof session, &size))
        return caller;
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return caller;
    const platform::win32::CLocalMemory owned(text);
    const std::wstring sid(text);
    caller.known = true;
    caller.session = session;
    caller.user.assign(sid.begin(), sid.end());
    caller.administrator = IsMember(token.Get(), WinBuiltinAdministratorsSid) ||
                           IsMember(token.Get(), WinLocalSystemSid);
    return caller;
}

}  // namespace corvane::win32
