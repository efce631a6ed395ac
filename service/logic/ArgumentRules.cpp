// Character classes behind Corvane's argument checks.
#include "logic/ArgumentRules.h"

#include <algorithm>

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
    return std::none_of(text.begin(), text.end(), [](char16_t c) { return c == 0 || c > 0xFF; });
}

bool IsConfigLineValue(std::u16string_view text, std::size_t maxUnits) {
    return IsSingleByteText(text, maxUnits) && IsSingleLineText(text);
}

bool IsSwitchValue(std::u16string_view text, std::size_t maxUnits) {
    return text.size() <= maxUnits && IsCommandToken(text);
}

bool IsSingleLineText(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char16_t c) { return c == u'\r' || c == u'\n' || c == 0; });
}

bool HasNoNull(std::u16string_view text) {
    return text.find(char16_t(0)) == std::u16string_view::npos;
}

bool IsCommandToken(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char16_t c) { return IsControl(c) || IsBlank(c) || IsQuote(c); });
}

bool IsPathText(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(), [](char16_t c) { return IsControl(c) || c == u'"'; });
}

HResult CheckConfigLineArgument(const InText& text, std::size_t maxUnits) {
    if (!text) return kS_OK;
    return IsConfigLineValue(*text, maxUnits) ? kS_OK : kE_INVALIDARG;
}

HResult CheckSwitchArgument(const InText& text, std::size_t maxUnits) {
    if (!text) return kS_OK;
    return IsSwitchValue(*text, maxUnits) ? kS_OK : kE_INVALIDARG;
}

HResult CheckSingleLine(std::u16string_view text, std::size_t bufferUnits) {
    return IsSingleLineText(text) && FitsBuffer(text, bufferUnits) ? kS_OK : kE_INVALIDARG;
}

HResult CheckCommandToken(std::u16string_view text, std::size_t bufferUnits) {
    return IsCommandToken(text) && FitsBuffer(text, bufferUnits) ? kS_OK : kE_INVALIDARG;
}

HResult CheckPath(std::u16string_view text, std::size_t bufferUnits) {
    return IsPathText(text) && FitsBuffer(text, bufferUnits) ? kS_OK : kE_INVALIDARG;
}

HResult CheckNoNull(std::u16string_view text) {
    return HasNoNull(text) ? kS_OK : kE_INVALIDARG;
}

}  // namespace corvane
