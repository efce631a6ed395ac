// Result codes of the helper service, spelled out so that the method logic needs no Windows header, and
// the rule that turns a system error number into a result code.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

using HResult = int32_t;

constexpr HResult kOk = 0;
constexpr HResult kFalse = 1;
constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001);
constexpr HResult kPointer = static_cast<HResult>(0x80004003);
constexpr HResult kFail = static_cast<HResult>(0x80004005);
constexpr HResult kUnexpected = static_cast<HResult>(0x8000FFFF);
constexpr HResult kInvalidArg = static_cast<HResult>(0x80070057);
constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);
constexpr HResult kAccessDenied = static_cast<HResult>(0x80070005);
// The fixed results some methods give: no engine to stop, a refused state, and the rest.
constexpr HResult kNothingToStop = static_cast<HResult>(0x80090011);
constexpr HResult kResult80004018 = static_cast<HResult>(0x80004018);
constexpr HResult kResult8010000A = static_cast<HResult>(0x8010000A);
// What the route methods answer for an existing / a missing route.
constexpr HResult kRouteExists = static_cast<HResult>(0x80071392);
constexpr HResult kFileNotFound = static_cast<HResult>(0x80070002);

constexpr bool Failed(HResult hr) {
    return hr < 0;
}

// A positive system error number becomes 0x8007xxxx with its low 16 bits; zero and negative values
// (already result codes) pass unchanged.
constexpr HResult HresultFromSystemError(int32_t code) {
    return code > 0 ? static_cast<HResult>(0x80070000u | (static_cast<uint32_t>(code) & 0xFFFFu)) : code;
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
