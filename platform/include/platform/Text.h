// Text conversions that go through the platform's code pages (UTF-8 and the thread's narrow code page).
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Both stop at the first NUL; an empty input gives an empty output. Invalid sequences are replaced
// (U+FFFD), never dropped silently and never a crash.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view bytes);

// The thread's narrow code page (the ANSI code page on Windows, UTF-8 on the host).
std::string Utf16ToNarrow(std::u16string_view text);
std::u16string NarrowToUtf16(std::string_view bytes);

}  // namespace platform
