// Small types shared by the platform interfaces.
#pragma once
#include <cstdint>

namespace platform {

// A window of the desktop program (HWND on Windows, a simulated id on the host); nullptr means none.
using WindowHandle = void*;

// Wait without limit (INFINITE).
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Windows error numbers the portable code names.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorBusy = 329;  // ERROR_OPERATION_IN_PROGRESS

}  // namespace platform
