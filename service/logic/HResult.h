// Result codes of Corvane's methods, defined without Windows headers so the method logic builds anywhere.
// The names carry a k prefix because <windows.h> defines S_OK and friends as macros, and the service host
// includes both.
#pragma once
#include <cstdint>

namespace corvane {

using HResult = int32_t;

inline constexpr HResult kS_OK = 0;
inline constexpr HResult kE_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult kE_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult kE_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057u);

// System error codes the logic produces itself (Windows numbering on every platform).
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorFilenameTooLong = 206;
inline constexpr uint32_t kErrorMoreData = 234;

// A positive system error code becomes 0x80070000 with its low 16 bits; zero or a code that is negative
// when read as a signed 32-bit value is passed on unchanged.
constexpr HResult HResultFromSystemError(uint32_t error) {
    const auto value = static_cast<int32_t>(error);
    if (value <= 0) return value;
    return static_cast<HResult>(0x80070000u | (error & 0xFFFFu));
}

constexpr bool Succeeded(HResult hr) {
    return hr >= 0;
}

}  // namespace corvane
