// Character classes behind Corvane's argument checks.
#include "logic/ArgumentRules.h"

namespace corvane {
namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Blanks that some parser might take as a separator: besides the ASCII space, the Unicode spaces, so
// that a value never depends on which command-line parser reads it.
bool IsBlank(char16_t c) {
    return c == u' ' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

bool IsQuote(char16_t c) {
    return c == u'"' || c == u'\'';
}

}  // namespace

bool IsSingleByteText(std::u16string_view text, std::size_t maxUnits) {
    if (text.size() > maxUnits) return false;
    for (char16_t c : text) {
        if (c == 0 || c > 0xFF) return false;
    }
    return true;
}

bool IsConfigLineValue(std::u16string_view text, std::size_t maxUnits) {
    if (!IsSingleByteText(text, maxUnits)) return false;
    for (char16_t c : text) {
        if (c == u'\r' || c == u'\n') return false;
    }
    return true;
}

bool IsSwitchValue(std::u16string_view text, std::size_t maxUnits) {
    if (text.size() > maxUnits) return false;
    for (char16_t c : text) {
        if (IsControl(c) || IsBlank(c) || IsQuote(c)) return false;
    }
    return true;
}

HResult CheckConfigLineArgument(const InText& text, std::size_t maxUnits) {
    if (!text) return kS_OK;
    return IsConfigLineValue(*text, maxUnits) ? kS_OK : kE_INVALIDARG;
}

HResult CheckSwitchArgument(const InText& text, std::size_t maxUnits) {
    if (!text) return kS_OK;
    return IsSwitchValue(*text, maxUnits) ? kS_OK : kE_INVALIDARG;
}

}  // namespace corvane
