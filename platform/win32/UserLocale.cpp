// The user's region and language. GetUserDefaultGeoName exists only on newer systems, so it is looked
// up at run time.
#include <windows.h>

#include "platform/UserLocale.h"
#include "platform/win32/Wide.h"

namespace platform {

std::u16string UserDefaultGeoName() {
    using GeoNameFn = int(WINAPI*)(LPWSTR, int);
    HMODULE kernel = GetModuleHandleW(L"Kernel32.dll");
    if (!kernel) return {};
    const auto fn = reinterpret_cast<GeoNameFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultGeoName")));
    if (!fn) return {};
    wchar_t name[257] = {};
    if (fn(name, 256) <= 0) return {};
    return win32::FromWide(name);
}

uint16_t UserDefaultLangId() {
    return GetUserDefaultLangID();
}

}  // namespace platform
