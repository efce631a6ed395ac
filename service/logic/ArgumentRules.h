// Checks that Corvane applies to text arguments before any of them reaches a file, the registry or a
// command line. The service runs as the local system account and a caller of the automation objects is
// only a local user: what it passes must not add lines to the engine's configuration, switches to the
// engine's command line, or overrun a buffer; a text longer than its buffer is refused rather than cut.
#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

#include "contract/CorvaneContract.h"
#include "logic/HResult.h"

namespace corvane {

// A text argument as it arrives from an automation string: no value for a null string.
using InText = std::optional<std::u16string_view>;

// Wraps an automation string (units and length); a null pointer is a null string.
inline InText TextArgument(const char16_t* units, std::size_t length) {
    if (units == nullptr) return std::nullopt;
    return std::u16string_view(units, length);
}

// Paths and command lines are built in buffers of kPathBufferUnits, message texts in buffers of
// kMessageBufferUnits (both in contract/CorvaneContract.h); both include the terminator, so a text that
// must fit leaves one unit free.

// True when the text fits a buffer of `bufferUnits` units together with its terminator.
constexpr bool FitsBuffer(std::u16string_view text, std::size_t bufferUnits) {
    return text.size() < bufferUnits;
}

// A value that lands on one line of an engine configuration file: no CR, LF or NUL, at most
// maxUnits units, and every unit one byte wide (U+0001..U+00FF), since the file is single-byte text.
bool IsConfigLineValue(std::u16string_view text, std::size_t maxUnits);
// A value that follows a switch on the engine's command line: no blank, quote or control character
// (which would end the value or start another switch), at most maxUnits units.
bool IsSwitchValue(std::u16string_view text, std::size_t maxUnits);
// Free text for a single-byte file: no NUL, at most maxUnits units, every unit U+0001..U+00FF.
bool IsSingleByteText(std::u16string_view text, std::size_t maxUnits);

// A single-line text of any characters: no carriage return, line feed or null character.
bool IsSingleLineText(std::u16string_view text);
// A text without a null character (it would silently end the text where the service writes it).
bool HasNoNull(std::u16string_view text);
// One command-line word, of any length: the characters IsSwitchValue allows.
bool IsCommandToken(std::u16string_view text);
// A path the service hands on: no control character and no double quote.
bool IsPathText(std::u16string_view text);

// The same checks as results, kS_OK or kE_INVALIDARG. For an argument that may be null, a null string
// passes: each method says what it stands for.
HResult CheckConfigLineArgument(const InText& text, std::size_t maxUnits);
HResult CheckSwitchArgument(const InText& text, std::size_t maxUnits);
HResult CheckSingleLine(std::u16string_view text, std::size_t bufferUnits);
HResult CheckCommandToken(std::u16string_view text, std::size_t bufferUnits);
HResult CheckPath(std::u16string_view text, std::size_t bufferUnits);
HResult CheckNoNull(std::u16string_view text);

}  // namespace corvane
