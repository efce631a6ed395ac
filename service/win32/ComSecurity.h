// Who may start and call the helper service's objects: the local system account, administrators and the
// interactively logged-on user, from this machine only, over encrypted calls. The same descriptors guard
// the process (COM security) and the AppID (launch and access permissions), so activation is refused too.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace corvane::win32 {

// COM rights in the descriptors' access masks.
constexpr DWORD kComExecute = 0x1;          // COM_RIGHTS_EXECUTE
constexpr DWORD kComExecuteLocal = 0x2;     // COM_RIGHTS_EXECUTE_LOCAL
constexpr DWORD kComExecuteRemote = 0x4;    // COM_RIGHTS_EXECUTE_REMOTE
constexpr DWORD kComActivateLocal = 0x8;    // COM_RIGHTS_ACTIVATE_LOCAL
constexpr DWORD kComActivateRemote = 0x10;  // COM_RIGHTS_ACTIVATE_REMOTE

constexpr DWORD kLaunchRights = kComExecute | kComExecuteLocal | kComActivateLocal;
constexpr DWORD kAccessRights = kComExecute | kComExecuteLocal;

// Descriptor text: owner and group Administrators, one allow entry each for SYSTEM, Administrators and
// INTERACTIVE with `rights`, nothing for anyone else.
std::wstring ComDescriptorSddl(DWORD rights);
// The descriptor in self-relative form (what the AppID values hold); empty on failure.
std::vector<BYTE> SelfRelativeDescriptor(DWORD rights);

// Process-wide COM security from the access descriptor: packet privacy, identify-level impersonation,
// no custom marshalling, no activate-as-activator.
HRESULT InitializeComSecurity();

}  // namespace corvane::win32
