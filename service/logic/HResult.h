// Result codes of Corvane's methods, defined without Windows headers so the method logic builds anywhere,
// the rule that turns a system error number into a result code, and the texts that service-log lines show
// for a result code. The names carry a k prefix because <windows.h> defines S_OK and friends as macros, and
// the service host includes both.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/CorvaneContract.h"
#include "platform/SystemErrors.h"

namespace corvane {

using HResult = int32_t;

inline constexpr HResult kS_OK = 0;
inline constexpr HResult kS_FALSE = 1;
inline constexpr HResult kE_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult kE_POINTER = static_cast<HResult>(0x80004003u);
inline constexpr HResult kE_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult kE_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult kE_ACCESSDENIED = static_cast<HResult>(0x80070005u);
inline constexpr HResult kE_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057u);
// The fixed results some methods give besides those the client tells apart (kNothingToStop, kRouteExists,
// kRouteMissing in contract/CorvaneContract.h): a refused state, and the rest.
inline constexpr HResult kResult80004018 = static_cast<HResult>(0x80004018u);
inline constexpr HResult kResult8010000A = static_cast<HResult>(0x8010000Au);

// System error codes the logic produces itself (Windows numbering on every platform).
using platform::kErrorFileNotFound;
using platform::kErrorFilenameTooLong;
using platform::kErrorInsufficientBuffer;
using platform::kErrorInvalidData;
using platform::kErrorMoreData;

// A positive system error code becomes 0x80070000 with its low 16 bits; zero or a code that is negative
// when read as a signed 32-bit value (already a result code) is passed on unchanged.
constexpr HResult HResultFromSystemError(uint32_t error) {
    return platform::HResultFromWin32(error);
}

constexpr bool Succeeded(HResult hr) {
    return hr >= 0;
}
constexpr bool Failed(HResult hr) {
    return hr < 0;
}

// The text that goes after "(0x%08x): ": the system's message for `hr` (passed in, may be empty) without
// its trailing line feed and then its trailing carriage return; without one, "IDispatch error #%d" for
// 0x80040201..0x8004FFFF and "Unknown error 0x%0lX" otherwise.
std::u16string FormatHresultText(HResult hr, std::u16string_view systemMessage);

// Where the system's message texts come from (the Windows host installs its own at start; without one,
// texts fall back to the forms above). HresultText is FormatHresultText with that source.
using SystemMessageSource = std::u16string (*)(HResult hr);
void SetSystemMessageSource(SystemMessageSource source);
std::u16string HresultText(HResult hr);

// "(0x%08x): %s" with the result code and its text, the tail of every failure line of the service log.
std::u16string HresultSuffix(HResult hr, std::u16string_view text);

// Decimal and hexadecimal digits for log lines (the service log carries no printf of its own).
std::u16string Decimal(int64_t value);
std::u16string Hex8(uint32_t value);

}  // namespace corvane
