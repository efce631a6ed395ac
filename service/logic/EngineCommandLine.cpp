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

namespace {

bool IsPort(std::u16string_view digits) {
    return !digits.empty() && digits.size() <= 5 &&
           std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

bool IsHexOrMark(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' ||
           c == u'.';
}

// One host: a name of ASCII letters, digits, "-", "." and "_" (an international name in its "xn--" form)
// or a bracketed IPv6 literal ("[::1]"), either with an optional ":port".
bool IsOneHost(std::u16string_view host) {
    if (host.empty()) return true;  // the client's list may have an empty place ("",hb.host)
    std::u16string_view name = host;
    if (host.front() == u'[') {
        const std::size_t close = host.find(u']');
        if (close == std::u16string_view::npos || close < 3 || close > 46) return false;
        const std::u16string_view literal = host.substr(1, close - 1);
        if (literal.find(u':') == std::u16string_view::npos ||
            !std::all_of(literal.begin(), literal.end(), IsHexOrMark))
            return false;
        const std::u16string_view rest = host.substr(close + 1);
        return rest.empty() || (rest.front() == u':' && IsPort(rest.substr(1)));
    }
    if (const std::size_t colon = host.find(u':'); colon != std::u16string_view::npos) {
        if (!IsPort(host.substr(colon + 1))) return false;
        name = host.substr(0, colon);
    }
    if (name.empty() || name.front() == u'-' || name.front() == u'.') return false;
    return std::all_of(name.begin(), name.end(), [](char16_t c) {
        return IsAsciiAlnum(c) || c == u'-' || c == u'.' || c == u'_';
    });
}

}  // namespace

bool IsEngineHostName(std::u16string_view text) {
    // The client hands over its orchestrator hosts as one list ("auth.host,heartbeat.host").
    std::size_t at = 0;
    while (true) {
        const std::size_t comma = text.find(u',', at);
        if (!IsOneHost(text.substr(at, comma == std::u16string_view::npos ? std::u16string_view::npos
                                                                         : comma - at)))
            return false;
        if (comma == std::u16string_view::npos) return true;
        at = comma + 1;
    }
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
