// Raising the skin code's exception from Win32 code: the source family ("common\winWidget"), the
// operation's name and a result, either given or taken from the thread's last error.
#pragma once
#include <windows.h>

#include "core/BrxException.h"

namespace velora {

constexpr const char* kWinDcFile = "common\\winDC";
constexpr const char* kWinImageFile = "common\\winImage";
constexpr const char* kWinWidgetFile = "common\\winWidget";
constexpr const char* kWinAutoFile = "common\\winAuto";
constexpr int32_t kOutOfMemoryHresult = static_cast<int32_t>(0x8007000E);
constexpr int32_t kAttachFailedHresult = static_cast<int32_t>(0x8007139F);

// The last error as an HRESULT; a failure that left no error code is reported as E_FAIL, never as 0.
inline int32_t LastErrorHresult() {
    const DWORD error = GetLastError();
    return error == 0 ? static_cast<int32_t>(0x80004005)
                      : CBrxException::ToHresult(static_cast<int32_t>(error));
}

}  // namespace velora
