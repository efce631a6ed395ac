// System facts from the running Windows: the user's UI language and the OS build number.
#include "platform/SystemInfo.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/SystemVersion.h"

namespace platform {

namespace win32 {
uint32_t BuildNumberFromModule(const wchar_t* moduleName) {
    // GetVersionEx lies to programs without a matching manifest entry; the native call does not. It is
    // looked up at run time because not every system (or emulation of one) exports it.
    HMODULE module = GetModuleHandleW(moduleName);
    if (!module) return 0;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto* procedure = GetProcAddress(module, "RtlGetVersion");
    if (!procedure) return 0;
    RtlGetVersionFn getVersion;
    static_assert(sizeof(getVersion) == sizeof(procedure));
    memcpy(&getVersion, &procedure, sizeof(getVersion));

    OSVERSIONINFOEXW info{};
    static_assert(sizeof(info) == 284, "the version call is given the extended structure");
    info.dwOSVersionInfoSize = sizeof(info);
    if (getVersion(&info) != 0) return 0;  // any NTSTATUS other than STATUS_SUCCESS
    return info.dwBuildNumber;
}
}  // namespace win32

uint16_t UserDefaultUiLanguage() {
    return GetUserDefaultUILanguage();
}

uint32_t OsBuildNumber() {
    return win32::BuildNumberFromModule(L"ntdll.dll");
}

}  // namespace platform
