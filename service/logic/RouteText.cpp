// Route list texts: splitting, the conversion into destination and mask, and the strict item check.
#include "logic/RouteText.h"

#include <algorithm>

namespace corvane {

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::u16string_view SkipLeadingWhiteSpace(std::u16string_view text) {
    std::size_t i = 0;
    // The white space of the C library: blank, tab, line feed, vertical tab, form feed, carriage return.
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    return text.substr(i);
}

// Leading decimal digits as an integer (0 when none), with an optional sign, as atoi reads them.
int64_t LeadingInteger(std::u16string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > 0xFFFFFFFFll) break;  // an item has at most 18 units; this only bounds the arithmetic
    }
    return negative ? -value : value;
}

uint32_t DottedValue(std::u16string_view text) {
    uint32_t value = 0;
    int shift = 0;
    std::size_t start = 0;
    while (shift < 32) {
        const std::size_t dot = text.find(u'.', start);
        const std::u16string_view part =
            text.substr(start, dot == std::u16string_view::npos ? std::u16string_view::npos : dot - start);
        value += static_cast<uint32_t>(LeadingInteger(part)) << shift;
        shift += 8;
        if (dot == std::u16string_view::npos) break;
        start = dot + 1;
    }
    return value;
}

// One to `maxDigits` decimal digits whose value is at most `maxValue`.
bool IsNumber(std::u16string_view text, std::size_t maxDigits, int maxValue) {
    if (text.empty() || text.size() > maxDigits) return false;
    int value = 0;
    for (const char16_t c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - u'0');
    }
    return value <= maxValue;
}

}  // namespace

std::vector<std::u16string_view> SplitRouteList(std::u16string_view list, std::size_t limit) {
    std::vector<std::u16string_view> items;
    std::size_t start = 0;
    while (start <= list.size() && items.size() <= limit) {
        const std::size_t comma = list.find(u',', start);
        const std::size_t end = comma == std::u16string_view::npos ? list.size() : comma;
        if (end > start) items.push_back(list.substr(start, end - start));
        if (comma == std::u16string_view::npos) break;
        start = comma + 1;
    }
    return items;
}

bool ConvertCidrToIpAndMask(std::u16string_view item, uint32_t& destination, uint32_t& mask) {
    const std::u16string_view text = SkipLeadingWhiteSpace(item);
    if (text.size() > kMaxRouteItemUnits) return false;
    const std::size_t slash = text.find(u'/');
    const std::u16string_view address = text.substr(0, slash);
    uint32_t maskValue = 0xFFFFFFFFu;
    if (slash != std::u16string_view::npos) {
        const int64_t prefix = LeadingInteger(text.substr(slash + 1));
        if (prefix < 0 || prefix > 32) return false;
        // The netmask with `prefix` leading one bits, in the table's byte order.
        const uint32_t hostOrder = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
        maskValue = ((hostOrder >> 24) & 0xFF) | ((hostOrder >> 8) & 0xFF00) | ((hostOrder << 8) & 0xFF0000) |
                    ((hostOrder << 24) & 0xFF000000u);
    }
    destination = DottedValue(address);
    mask = maskValue;
    return true;
}

bool IsRouteItem(std::u16string_view item) {
    std::size_t begin = 0;
    while (begin < item.size() && IsBlank(item[begin])) ++begin;
    std::size_t end = item.size();
    while (end > begin && IsBlank(item[end - 1])) --end;
    if (item.size() - begin > kMaxRouteItemUnits) return false;
    const std::u16string_view text = item.substr(begin, end - begin);
    const std::size_t slash = text.find(u'/');
    if (slash != std::u16string_view::npos && !IsNumber(text.substr(slash + 1), 2, 32)) return false;
    const std::u16string_view address = text.substr(0, slash);
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = address.find(u'.', start);
        const bool last = part == 3;
        if (last != (dot == std::u16string_view::npos)) return false;
        const std::size_t stop = last ? address.size() : dot;
        if (!IsNumber(address.substr(start, stop - start), 3, 255)) return false;
        start = stop + 1;
    }
    return true;
}

namespace {
// The table keeps the first dotted part in the lowest byte; ranges read better the other way round.
uint32_t NetworkOrder(uint32_t value) {
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) | (value >> 24);
}
}  // namespace

bool IsProtectedNetwork(uint32_t destination, uint32_t mask) {
    const uint32_t m = NetworkOrder(mask);
    const uint32_t network = NetworkOrder(destination) & m;
    int length = 0;
    for (uint32_t bits = m; bits & 0x80000000u; bits <<= 1) ++length;
    struct Range {
        uint32_t network;
        int length;
    };
    static constexpr Range kProtected[] = {
        {0x00000000u, 8}, {0x7F000000u, 8}, {0xA9FE0000u, 16}, {0xE0000000u, 4}, {0xF0000000u, 4}};
    for (const Range& range : kProtected) {
        const int common = std::min(length, range.length);
        if (common == 0 || ((network ^ range.network) >> (32 - common)) == 0) return true;
    }
    return false;
}

std::u16string DottedAddress(uint32_t address) {
    std::u16string text;
    for (int shift = 0; shift < 32; shift += 8) {
        if (shift) text += u'.';
        const unsigned part = (address >> shift) & 0xFF;
        if (part >= 100) text += static_cast<char16_t>(u'0' + part / 100);
        if (part >= 10) text += static_cast<char16_t>(u'0' + part / 10 % 10);
        text += static_cast<char16_t>(u'0' + part % 10);
    }
    return text;
}

}  // namespace corvane
