// Base64 encoding and the lenient decoding the service's texts need (keys arrive with line breaks and
// padding in arbitrary places).
#include "core/Base64.h"

#include <cstdint>
#include <limits>
#include <new>

namespace velora {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 76;

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::size_t EncodedLength(std::size_t size) {
    return (size / 3 + (size % 3 != 0 ? 1 : 0)) * 4;
}

// One pass over the text; with `out` null it only counts.
std::size_t DecodeInto(const char* text, std::size_t length, uint8_t* out) {
    std::size_t at = 0;
    std::size_t written = 0;
    while (at < length && text[at] != '\0') {
        uint32_t bits = 0;
        int count = 0;
        while (count < 4 && at < length) {
            const int value = ValueOf(text[at++]);
            if (value < 0) continue;
            bits = (bits << 6) | static_cast<uint32_t>(value);
            ++count;
        }
        bits <<= 6 * (4 - count);
        const int bytes = count * 6 / 8;
        for (int i = 0; i < bytes; ++i) {
            if (out) out[written] = static_cast<uint8_t>(bits >> (16 - 8 * i));
            ++written;
        }
    }
    return written;
}

}  // namespace

std::size_t Base64EncodeRequiredLength(std::size_t size) {
    // Beyond this the text length, line breaks included, would not fit a size_t.
    if (size > std::numeric_limits<std::size_t>::max() / 8 * 3) return 0;
    const std::size_t text = EncodedLength(size);
    return text + 2 * (text / kLineLength + 1);
}

bool Base64Encode(const uint8_t* data, std::size_t size, char* out, std::size_t& length) {
    const std::size_t required = Base64EncodeRequiredLength(size);
    if (required == 0 || (data == nullptr && size != 0)) {
        length = 0;
        return false;
    }
    if (out == nullptr || length < required) {
        length = required;
        return false;
    }
    std::size_t written = 0;
    std::size_t at = 0;
    for (; at + 3 <= size; at += 3) {
        const uint32_t group = (uint32_t{data[at]} << 16) | (uint32_t{data[at + 1]} << 8) | data[at + 2];
        out[written++] = kAlphabet[(group >> 18) & 63];
        out[written++] = kAlphabet[(group >> 12) & 63];
        out[written++] = kAlphabet[(group >> 6) & 63];
        out[written++] = kAlphabet[group & 63];
    }
    if (at < size) {
        const bool two = size - at == 2;
        const uint32_t group = (uint32_t{data[at]} << 16) | (two ? uint32_t{data[at + 1]} << 8 : 0);
        out[written++] = kAlphabet[(group >> 18) & 63];
        out[written++] = kAlphabet[(group >> 12) & 63];
        out[written++] = two ? kAlphabet[(group >> 6) & 63] : '=';
        out[written++] = '=';
    }
    length = written;
    return true;
}

bool Base64Decode(const char* text, std::size_t length, uint8_t* out, std::size_t& size) {
    if (text == nullptr && length != 0) {
        size = 0;
        return false;
    }
    const std::size_t needed = DecodeInto(text, length, nullptr);
    if ((out == nullptr && needed != 0) || size < needed) {
        size = needed;
        return false;
    }
    size = DecodeInto(text, length, out);
    return true;
}

bool Base64Encode(const uint8_t* data, std::size_t size, std::string& text) {
    text.clear();
    std::size_t length = Base64EncodeRequiredLength(size);
    if (length == 0) return false;
    try {
        text.resize(length);
    } catch (const std::bad_alloc&) {
        text.clear();
        return false;
    }
    if (!Base64Encode(data, size, text.data(), length)) {
        text.clear();
        return false;
    }
    text.resize(length);
    return true;
}

bool Base64Decode(std::string_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::size_t size = 0;
    Base64Decode(text.data(), text.size(), nullptr, size);
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
    if (!Base64Decode(text.data(), text.size(), bytes.data(), size)) {
        bytes.clear();
        return false;
    }
    bytes.resize(size);
    return true;
}

}  // namespace velora
