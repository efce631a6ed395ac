// Argument checks of the helper service's methods.
#include "logic/ArgumentRules.h"

#include <algorithm>

namespace corvane {

namespace {
bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}
}  // namespace

bool IsSingleLineText(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char16_t c) { return c == u'\r' || c == u'\n' || c == 0; });
}

bool HasNoNull(std::u16string_view text) {
    return text.find(char16_t(0)) == std::u16string_view::npos;
}

bool IsCommandToken(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(), [](char16_t c) {
        return IsControl(c) || c == u' ' || c == u'"' || c == u'\'' || c == 0x3000 || c == 0x00A0;
    });
}

bool IsPathText(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(), [](char16_t c) { return IsControl(c) || c == u'"'; });
}

HResult CheckSingleLine(std::u16string_view text, std::size_t bufferUnits) {
    return IsSingleLineText(text) && FitsBuffer(text, bufferUnits) ? kOk : kInvalidArg;
}

HResult CheckCommandToken(std::u16string_view text, std::size_t bufferUnits) {
    return IsCommandToken(text) && FitsBuffer(text, bufferUnits) ? kOk : kInvalidArg;
}

HResult CheckPath(std::u16string_view text, std::size_t bufferUnits) {
    return IsPathText(text) && FitsBuffer(text, bufferUnits) ? kOk : kInvalidArg;
}

HResult CheckNoNull(std::u16string_view text) {
    return HasNoNull(text) ? kOk : kInvalidArg;
}

}  // namespace corvane
