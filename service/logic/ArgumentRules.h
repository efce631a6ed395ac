// Checks that Corvane applies to text arguments before any of them reaches a file, the registry or a
// command line. A caller of the automation objects is only a local user; what it passes must not add
// lines to the engine's configuration, switches to the engine's command line, or overrun a buffer.
#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

#include "logic/HResult.h"

namespace corvane {

// A text argument as it arrives from an automation string: no value for a null string.
using InText = std::optional<std::u16string_view>;

// Wraps an automation string (units and length); a null pointer is a null string.
inline InText TextArgument(const char16_t* units, std::size_t length) {
    if (units == nullptr) return std::nullopt;
    return std::u16string_view(units, length);
}

// Paths and command lines are built in buffers of 260 units, message texts in buffers of 1,024 units;
// both include the terminator, so a text that must fit leaves one unit free.
inline constexpr std::size_t kPathBufferUnits = 260;
inline constexpr std::size_t kMessageBufferUnits = 1024;

// A value that lands on one line of an engine configuration file: no CR, LF or NUL, at most
// maxUnits units, and every unit one byte wide (U+0001..U+00FF), since the file is single-byte text.
bool IsConfigLineValue(std::u16string_view text, std::size_t maxUnits);
// A value that follows a switch on the engine's command line: no blank, quote or control character
// (which would end the value or start another switch), at most maxUnits units.
bool IsSwitchValue(std::u16string_view text, std::size_t maxUnits);
// Free text for a single-byte file: no NUL, at most maxUnits units, every unit U+0001..U+00FF.
bool IsSingleByteText(std::u16string_view text, std::size_t maxUnits);

// The same checks for an argument that may be null (a null string passes: each method says what it
// stands for). kS_OK or kE_INVALIDARG.
HResult CheckConfigLineArgument(const InText& text, std::size_t maxUnits);
HResult CheckSwitchArgument(const InText& text, std::size_t maxUnits);

}  // namespace corvane
