// Escaping, conversion, version, address, rate, clock and scale helpers.
#include "core/TextHelpers.h"

#include <chrono>
#include <limits>
#include <vector>

#include "core/Format.h"
#include "platform/Text.h"

namespace velora {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The non-empty pieces between dots (a run of dots is one separator).
template <typename Visit>
void ForEachDottedPiece(std::u16string_view text, Visit visit) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == u'.') {
            ++i;
            continue;
        }
        std::size_t end = text.find(u'.', i);
        if (end == std::u16string_view::npos) end = text.size();
        if (!visit(text.substr(i, end - i))) return;
        i = end;
    }
}

}  // namespace

std::u16string JsonEscape(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + 8);
    for (const char16_t c : text) {
        if (c < 0x20 || c == 0x7F) continue;
        if (c == u'"' || c == u'\\' || c == u'/') out += u'\\';
        out += c;
    }
    return out;
}

namespace {

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The length of the escape that starts at text[i] (a backslash), or 0 when it starts none.
std::size_t EscapeLength(std::u16string_view text, std::size_t i) {
    if (i + 1 >= text.size()) return 0;
    switch (text[i + 1]) {
        case u'"':
        case u'\\':
        case u'/':
        case u'b':
        case u'f':
        case u'n':
        case u'r':
        case u't':
            return 2;
        case u'u':
            if (i + 6 > text.size()) return 0;
            for (std::size_t k = i + 2; k < i + 6; ++k) {
                if (!IsHexDigit(text[k])) return 0;
            }
            return 6;
        default:
            return 0;
    }
}

}  // namespace

std::u16string JsonTextAsCut(std::u16string_view cut) {
    std::u16string out;
    out.reserve(cut.size() + 8);
    for (std::size_t i = 0; i < cut.size(); ++i) {
        const char16_t c = cut[i];
        if (c < 0x20 || c == 0x7F) continue;
        if (c == u'\\') {
            if (const std::size_t length = EscapeLength(cut, i); length > 0) {
                out += cut.substr(i, length);
                i += length - 1;
                continue;
            }
        }
        if (c == u'"' || c == u'\\') out += u'\\';
        out += c;
    }
    return out;
}

std::u16string UrlEncode(std::u16string_view text) {
    struct Code {
        char16_t unit;
        std::u16string_view escaped;
    };
    static constexpr Code kCodes[] = {{u' ', u"%20"}, {u'"', u"%22"},  {u'%', u"%25"}, {u':', u"%3A"},
                                      {u'[', u"%5B"}, {u'\\', u"%5C"}, {u']', u"%5D"}, {u'^', u"%5E"},
                                      {u'{', u"%7B"}, {u'|', u"%7C"},  {u'}', u"%7D"}};
    std::u16string out;
    out.reserve(text.size() + 8);
    for (const char16_t c : text) {
        const Code* code = nullptr;
        for (const Code& candidate : kCodes) {
            if (candidate.unit == c) code = &candidate;
        }
        if (code) {
            out += code->escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string UnescapeText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\\') continue;
        if (c == u'n' && i > 0 && text[i - 1] == u'\\') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return platform::Utf16ToUtf8(text);
}
std::u16string Utf8ToUtf16(std::string_view bytes) {
    return platform::Utf8ToUtf16(bytes);
}

int32_t ParseDecimal(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulated in 64 bits and clamped once past the 32-bit range, so long digit runs cannot overflow.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (value <= kLimit) value = value * 10 + (text[i] - u'0');
    }
    if (negative) {
        value = -value;
        return value < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
                                                           : static_cast<int32_t>(value);
    }
    return value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(value);
}

int CompareVersions(std::u16string_view a, std::u16string_view b) {
    if (a == b) return 0;
    // Every version ends with an empty piece after its last one, so "1.2.3" has four pieces; only the
    // counts and the numeric values matter.
    const auto pieces = [](std::u16string_view text) {
        std::vector<int32_t> values;
        ForEachDottedPiece(text, [&](std::u16string_view piece) {
            values.push_back(ParseDecimal(piece));
            return true;
        });
        values.push_back(0);
        return values;
    };
    const std::vector<int32_t> pa = pieces(a);
    const std::vector<int32_t> pb = pieces(b);
    if (pa.size() != pb.size()) return pa.size() > pb.size() ? 1 : -1;
    for (std::size_t i = 0; i < pa.size(); ++i) {
        if (pa[i] != pb[i]) return pa[i] > pb[i] ? 1 : -1;
    }
    return 0;
}

bool IsIpv4Text(std::u16string_view text) {
    if (text.size() < 7 || text.size() > 15) return false;
    bool valid = true;
    std::size_t count = 0;
    ForEachDottedPiece(text, [&](std::u16string_view piece) {
        ++count;
        uint32_t value = 0;
        for (const char16_t c : piece) {
            if (!IsDigit(c)) return valid = false;
            value = value * 10 + (c - u'0');  // at most 15 digits: checked below before it can wrap
            if (value > 255) return valid = false;
        }
        return true;
    });
    // A text of dots alone has no piece at all and is no address.
    return valid && count > 0;
}

std::u16string FormatIpv4(uint32_t address, uint8_t prefixLength) {
    const uint32_t o1 = address & 0xFF, o2 = (address >> 8) & 0xFF, o3 = (address >> 16) & 0xFF,
                   o4 = address >> 24;
    if (prefixLength <= 31) return FormatText(u"%u.%u.%u.%u/%u", o1, o2, o3, o4, uint32_t{prefixLength});
    return FormatText(u"%u.%u.%u.%u", o1, o2, o3, o4);
}

std::u16string FormatRate(int64_t rate, std::u16string& unit) {
    const double kbps = static_cast<double>(rate) / 1000.0;
    double shown = kbps;
    if (kbps / 1000000.0 > 1.0) {
        shown = kbps / 1000000.0;
        unit = u"Gbps";
    } else if (kbps / 1000.0 > 1.0) {
        shown = kbps / 1000.0;
        unit = u"Mbps";
    } else {
        unit = u"Kbps";
    }
    return FormatText(u"%.1f", shown);
}

int64_t CurrentTimeMillis() {
    // The UTC clock directly: a round trip through local calendar time would be an hour off inside
    // the repeated hour when daylight saving ends.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

int ScaleIndex(double factor) {
    if (factor >= 2.9) return 4;
    if (factor >= 2.4) return 3;
    if (factor >= 1.9) return 2;
    if (factor >= 1.4) return 1;
    return 0;
}

}  // namespace velora
