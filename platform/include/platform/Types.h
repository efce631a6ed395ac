// Small types shared by the platform interfaces.
#pragma once
#include <cstdint>

#include "platform/SystemErrors.h"  // the error numbers, which the interfaces report

namespace platform {

// A window of the desktop program (HWND on Windows, a simulated id on the host); nullptr means none.
using WindowHandle = void*;

// Wait without limit (INFINITE).
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

}  // namespace platform
