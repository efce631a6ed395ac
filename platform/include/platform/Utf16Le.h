// The UTF-16LE byte codec, written once: the log file, the settings store, the error catalogue, the
// helper service's stored values and the device facts all keep text as little-endian 16-bit units,
// whatever the byte order of the machine. Header only, so the service logic can use it too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The units of `size` bytes; a dangling odd byte is no unit.
template <typename Byte>
std::u16string DecodeUtf16Le(const Byte* bytes, std::size_t size) {
    static_assert(sizeof(Byte) == 1);
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return units;
}
inline std::u16string DecodeUtf16Le(std::string_view bytes) {
    return DecodeUtf16Le(bytes.data(), bytes.size());
}
inline std::u16string DecodeUtf16Le(const std::vector<uint8_t>& bytes) {
    return DecodeUtf16Le(bytes.data(), bytes.size());
}

// Appends two bytes per unit, low byte first.
template <typename Bytes>
void AppendUtf16Le(Bytes& out, std::u16string_view units) {
    using Byte = typename Bytes::value_type;
    static_assert(sizeof(Byte) == 1);
    out.reserve(out.size() + units.size() * 2);
    for (const char16_t c : units) {
        out.push_back(static_cast<Byte>(c & 0xFF));
        out.push_back(static_cast<Byte>(c >> 8));
    }
}

// The text up to its first NUL unit (all of it without one), as a stored string value is read.
inline std::u16string_view UpToNul(std::u16string_view text) {
    const auto end = text.find(u'\0');
    return end == std::u16string_view::npos ? text : text.substr(0, end);
}

}  // namespace platform
