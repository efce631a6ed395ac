// Checks that every text argument passes before it reaches a file, the registry or a command line. The
// service runs as the local system account: a line break in a server address would add configuration
// lines of the caller's choosing, a blank or quote in a token would add engine switches, and a text longer
// than the buffer it is built into must be refused rather than cut.
#pragma once
#include <cstddef>
#include <string_view>

#include "logic/Hresult.h"

namespace corvane {

// Buffer sizes in UTF-16 units, terminator included: paths and command lines, and message texts.
constexpr std::size_t kPathBufferUnits = 260;
constexpr std::size_t kMessageBufferUnits = 1024;

// True when the text fits a buffer of `bufferUnits` units together with its terminator.
constexpr bool FitsBuffer(std::u16string_view text, std::size_t bufferUnits) {
    return text.size() < bufferUnits;
}

// A single-line text: no carriage return, line feed or null character.
bool IsSingleLineText(std::u16string_view text);
// A text without a null character (it would silently end the text where the service writes it).
bool HasNoNull(std::u16string_view text);
// One command-line word: no blank, no quote (" or '), no control character (U+0000..U+001F, U+007F).
bool IsCommandToken(std::u16string_view text);
// A path the service hands on: no control character and no double quote.
bool IsPathText(std::u16string_view text);

// The same rules as results: kOk or kInvalidArg.
HResult CheckSingleLine(std::u16string_view text, std::size_t bufferUnits);
HResult CheckCommandToken(std::u16string_view text, std::size_t bufferUnits);
HResult CheckPath(std::u16string_view text, std::size_t bufferUnits);
HResult CheckNoNull(std::u16string_view text);

}  // namespace corvane
