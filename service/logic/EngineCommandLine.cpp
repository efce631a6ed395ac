// Character rules and assembly of the engine's command line.
#include "logic/EngineCommandLine.h"

#include <algorithm>

#include "contract/CorvaneContract.h"
#include "logic/HResult.h"

namespace corvane {
namespace {

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool OnlyOf(std::u16string_view text, std::u16string_view marks) {
    if (!text.empty() && (text.front() == u'-' || text.front() == u'/')) return false;
    return std::all_of(text.begin(), text.end(), [marks](char16_t c) {
        return IsAsciiAlnum(c) || marks.find(c) != std::u16string_view::npos;
    });
}

}  // namespace

bool SameImageName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool IsEngineToken(std::u16string_view text) {
    return OnlyOf(text, u"-._~+/=:");
}

bool IsEngineSerial(std::u16string_view text) {
    return OnlyOf(text, u"-._:{}");
}

bool IsEngineHostName(std::u16string_view text) {
    // The client hands over its orchestrator hosts as one list ("auth.host,heartbeat.host").
    return OnlyOf(text, u"-._:,");
}

std::optional<std::u16string> BuildEngineCommandLine(std::u16string_view token, std::u16string_view sn,
                                                     std::u16string_view orchDomain) {
    if (!IsEngineToken(token) || !IsEngineSerial(sn) || !IsEngineHostName(orchDomain)) return std::nullopt;
    std::u16string line = u" -T ";
    line += token;
    line += u" -S ";
    line += sn;
    if (!orchDomain.empty()) {
        line += u" -d ";
        line += orchDomain;
    }
    if (line.size() >= kPathBufferUnits) return std::nullopt;
    return line;
}

bool AppendSharingSwitch(std::u16string& commandLine, int32_t index) {
    const std::u16string piece = u" -I " + Decimal(index);
    if (commandLine.size() + piece.size() >= kPathBufferUnits) return false;
    commandLine += piece;
    return true;
}

}  // namespace corvane
