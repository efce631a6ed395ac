// The system's version call, looked up by name so that a system without it still starts.
#pragma once
#include <cstdint>

namespace platform::win32 {

// Build number reported by RtlGetVersion of `moduleName` (normally "ntdll.dll"); 0 when the module is
// not loaded, lacks the export, or the call fails.
uint32_t BuildNumberFromModule(const wchar_t* moduleName);

}  // namespace platform::win32
