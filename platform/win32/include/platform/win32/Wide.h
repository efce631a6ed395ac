// UTF-16 text of the portable code seen as the wide characters of the Windows API (both 16 bits).
#pragma once
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

namespace platform::win32 {

inline const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::wstring WideString(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string FromWide(const wchar_t* s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
inline std::u16string FromWide(const wchar_t* s, std::size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}

}  // namespace platform::win32
