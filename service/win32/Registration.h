// Registration switches of the helper service: classes, type library, AppID with its launch and access
// permissions, and the service itself.
#pragma once
#include <windows.h>

namespace corvane::win32 {

enum class RegistrationScope { Machine, User };

// "RegServer" / "RegServerPerUser" (asService false) and "Service" (asService true, machine scope).
HRESULT RegisterServer(RegistrationScope scope, bool asService);
// "UnregServer" / "UnregServerPerUser".
HRESULT UnregisterServer(RegistrationScope scope);

}  // namespace corvane::win32
