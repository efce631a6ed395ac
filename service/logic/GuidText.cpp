// GUID text forms.
#include "logic/GuidText.h"

#include "logic/EngineCommandLine.h"

namespace corvane {
namespace {

void Hex(std::u16string& out, uint32_t value, int digits, bool upper) {
    const char16_t* set = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) out += set[(value >> (4 * i)) & 0xF];
}

std::u16string Format(const GuidFields& g, bool upperThird) {
    std::u16string out = u"{";
    Hex(out, g.data1, 8, true);
    out += u'-';
    Hex(out, g.data2, 4, true);
    out += u'-';
    Hex(out, g.data3, 4, upperThird);
    out += u'-';
    Hex(out, g.data4[0], 2, true);
    Hex(out, g.data4[1], 2, true);
    out += u'-';
    for (int i = 2; i < 8; ++i) Hex(out, g.data4[i], 2, true);
    out += u'}';
    return out;
}

}  // namespace

std::u16string FormatGuidText(const GuidFields& guid) {
    return Format(guid, true);
}

std::u16string FormatAdapterIdText(const GuidFields& guid) {
    return Format(guid, false);
}

std::u16string FormatStoredGuidText(const std::array<uint8_t, 16>& b) {
    GuidFields g;
    g.data1 = uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
    g.data2 = static_cast<uint16_t>(b[5] << 8 | b[4]);
    g.data3 = static_cast<uint16_t>(b[7] << 8 | b[6]);
    for (int i = 0; i < 8; ++i) g.data4[i] = b[8 + i];
    return Format(g, true);
}

bool SameGuidText(std::u16string_view a, std::u16string_view b) {
    return SameImageName(a, b);
}

}  // namespace corvane
