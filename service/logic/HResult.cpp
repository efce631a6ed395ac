// Result-code texts of the helper service.
#include "logic/HResult.h"

#include <atomic>
#include <cstdio>

namespace corvane {

namespace {
std::u16string Widen(const char* s) {
    std::u16string out;
    for (; *s; ++s) out.push_back(static_cast<unsigned char>(*s));
    return out;
}
}  // namespace

std::u16string Decimal(int64_t value) {
    return Widen(std::to_string(value).c_str());
}

std::u16string Hex8(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08x", static_cast<unsigned>(value));
    return Widen(buffer);
}

std::u16string FormatHresultText(HResult hr, std::u16string_view systemMessage) {
    std::u16string text(systemMessage);
    if (!text.empty() && text.back() == u'\n') text.pop_back();
    if (!text.empty() && text.back() == u'\r') text.pop_back();
    if (!text.empty()) return text;
    const uint32_t value = static_cast<uint32_t>(hr);
    char buffer[48];
    if (value >= 0x80040201u && value <= 0x8004FFFFu)
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(value - 0x80040200u));
    else
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(value));
    return Widen(buffer);
}

namespace {
std::atomic<SystemMessageSource> gMessageSource{nullptr};
}  // namespace

void SetSystemMessageSource(SystemMessageSource source) {
    gMessageSource = source;
}

std::u16string HresultText(HResult hr) {
    const SystemMessageSource source = gMessageSource;
    return FormatHresultText(hr, source ? source(hr) : std::u16string());
}

std::u16string HresultSuffix(HResult hr, std::u16string_view text) {
    return u"(0x" + Hex8(static_cast<uint32_t>(hr)) + u"): " + std::u16string(text);
}

}  // namespace corvane
