// UTF-8 and narrow code-page conversions through WideCharToMultiByte / MultiByteToWideChar.
#include <windows.h>

#include "platform/Text.h"

namespace platform {
namespace {

std::string ToBytes(UINT codePage, std::u16string_view text) {
    const auto end = text.find(u'\0');
    if (end != std::u16string_view::npos) text = text.substr(0, end);
    if (text.empty()) return {};
    const auto* src = reinterpret_cast<const wchar_t*>(text.data());
    const int n = WideCharToMultiByte(codePage, 0, src, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, src, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::u16string FromBytes(UINT codePage, std::string_view bytes) {
    const auto end = bytes.find('\0');
    if (end != std::string_view::npos) bytes = bytes.substr(0, end);
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) { return ToBytes(CP_UTF8, text); }
std::u16string Utf8ToUtf16(std::string_view bytes) { return FromBytes(CP_UTF8, bytes); }
std::string Utf16ToNarrow(std::u16string_view text) { return ToBytes(CP_THREAD_ACP, text); }
std::u16string NarrowToUtf16(std::string_view bytes) { return FromBytes(CP_THREAD_ACP, bytes); }

}  // namespace platform
