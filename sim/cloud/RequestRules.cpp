// The orchestrator's rules for the client's requests. The bodies are fixed format strings on the
// client's side, so they are matched here as the same strings: every character outside a value (the
// blanks after some commas included) must be as the template has it.
#include "RequestRules.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "SimReplies.h"

namespace sim {
namespace {

// The client's three connect templates (older systems, the client choosing its mode, and the usual one);
// the values are the internal address, the product version, the serial and connectPopFailed.
constexpr std::string_view kConnectTemplates[] = {
    R"({"internalIp":"%s","deviceModel":"windows","mobileVersion":"%s","sn":"%s","needIpsecKey":true,)"
    R"("deviceSupportMode":"vpn","supportFeature":{"supportHttps":true,"supportIpFilterDownloadUrlV2":true, )"
    R"("supportHeartBeat":true}, "clientDeviceInfo":{"windows_32_bit":false},)"
    R"("connectExtraInfo":{"connectPopFailed":%s}})",
    R"({"internalIp":"%s","deviceModel":"windows","connectMode":3,"mobileVersion":"%s","sn":"%s",)"
    R"("needIpsecKey":true,"deviceSupportMode":"hybird","supportFeature":{"supportHttps":true, )"
    R"("supportIpFilterDownloadUrlV2":true, "supportHeartBeat":true},"clientDeviceInfo":)"
    R"({"windows_32_bit":false},"connectExtraInfo":{"connectPopFailed":%s,"useClientSpecifyMode":true}})",
    R"({"internalIp":"%s","deviceModel":"windows","mobileVersion":"%s","sn":"%s","needIpsecKey":true,)"
    R"("deviceSupportMode":"hybird","supportFeature":{"supportHttps":true, )"
    R"("supportIpFilterDownloadUrlV2":true, "supportHeartBeat":true},"clientDeviceInfo":)"
    R"({"windows_32_bit":false},"connectExtraInfo":{"connectPopFailed":%s}})",
};
constexpr std::string_view kIntranetBody = R"({"intranetMode":true})";
constexpr std::size_t kMaxCustomerIdDigits = 10;

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The values of the header lines of that name (any case), in order.
std::vector<std::string> Values(const Request& request, std::string_view name) {
    std::vector<std::string> values;
    const std::string wanted = Lower(name);
    for (const auto& [n, v] : request.headers) {
        if (Lower(n) == wanted) values.push_back(v);
    }
    return values;
}

// One line of that name with a non-empty value (and, when given, exactly that value).
std::string CheckOneLine(const Request& request, std::string_view name, std::string_view wanted = {}) {
    const std::vector<std::string> values = Values(request, name);
    const std::string label = std::string(name) + ":";
    if (values.empty() || (values.size() == 1 && values.front().empty()))
        return "the request has no " + label + " line";
    if (values.size() > 1) return "the request has " + std::to_string(values.size()) + " " + label + " lines";
    if (!wanted.empty() && values.front() != wanted)
        return "the " + label + " line says \"" + values.front() + "\", not \"" + std::string(wanted) + "\"";
    return {};
}

// Matches `body` against a template whose "%s" stand for values; the values come out in order. A value
// is the shortest text up to the template's next literal part.
bool MatchTemplate(std::string_view format, std::string_view body, std::vector<std::string>& values) {
    values.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t mark = format.find("%s");
        const std::string_view literal = format.substr(0, mark);
        if (body.substr(at, literal.size()) != literal) return false;
        at += literal.size();
        if (mark == std::string_view::npos) return at == body.size();
        format.remove_prefix(mark + 2);
        const std::string_view next = format.substr(0, format.find("%s"));
        const std::size_t end = next.empty() ? body.size() : body.find(next, at);
        if (end == std::string_view::npos) return false;
        values.emplace_back(body.substr(at, end - at));
        at = end;
    }
}

bool IsDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::string CheckClientLines(const Request& request, bool signedIn) {
    std::string wrong = CheckOneLine(request, "sn");
    if (wrong.empty()) wrong = CheckOneLine(request, "type", "windows");
    if (wrong.empty() && signedIn) wrong = CheckOneLine(request, "X-KX-AUTH-HEADER");
    return wrong;
}

std::string CheckNoClientLines(const Request& request) {
    for (const char* name : {"X-KX-AUTH-HEADER", "sn", "type"}) {
        if (!Values(request, name).empty())
            return std::string("the request carries a ") + name + ": line, which it must not send here";
    }
    return {};
}

std::string CheckContentType(const Request& request, std::string_view type) {
    const std::vector<std::string> values = Values(request, "Content-Type");
    if (values.empty()) return "the request has no Content-Type line";
    if (values.size() > 1) return "the request has " + std::to_string(values.size()) + " Content-Type lines";
    if (Lower(values.front()) != type)
        return "the content type is \"" + values.front() + "\", not \"" + std::string(type) + "\"";
    return {};
}

std::string CheckEmptyBody(const Request& request) {
    if (request.body.empty()) return {};
    return "the body must be empty, it holds " + std::to_string(request.body.size()) + " bytes";
}

std::string CheckConnectBody(const Request& request) {
    std::vector<std::string> values;
    for (const std::string_view format : kConnectTemplates) {
        if (!MatchTemplate(format, request.body, values)) continue;
        for (std::size_t i = 0; i < 3; ++i) {
            if (values[i].find('"') != std::string::npos)
                return "a value of the connect body holds a quote: " + values[i];
        }
        if (values[3] != "true" && values[3] != "false")
            return "connectPopFailed is \"" + values[3] + "\", not true or false";
        const std::vector<std::string> sn = Values(request, "sn");
        if (sn.size() == 1 && sn.front() != values[2])
            return "the body's sn \"" + values[2] + "\" is not the sn: line's \"" + sn.front() + "\"";
        return {};
    }
    return "the connect body matches none of the client's templates";
}

std::string CheckHeartbeatBody(const Request& request, std::string_view mode) {
    const std::string_view body = request.body;
    if (mode.empty()) {
        if (body.empty() || body == kIntranetBody) return {};
        return "the heartbeat body is neither empty nor {\"intranetMode\":true}";
    }
    if (mode == "MOBILE_DETECT") {
        if (body == kIntranetBody) return {};
        return "the heartbeat of the mobile-detect mode must say {\"intranetMode\":true}";
    }
    if (body.empty()) return {};
    return "the heartbeat of the " + std::string(mode) + " mode must have an empty body";
}

std::string CheckDisconnectBody(const Request& request) {
    std::vector<std::string> values;
    if (!MatchTemplate(R"({"customerId":%s, "sn":"%s"})", request.body, values))
        return "the disconnect body does not match {\"customerId\":<id>, \"sn\":\"<serial>\"}";
    if (!IsDigits(values[0]) || values[0].size() > kMaxCustomerIdDigits)
        return "the disconnect body's customerId \"" + values[0] + "\" is not a customer number";
    const std::vector<std::string> sn = Values(request, "sn");
    if (values[1].find('"') != std::string::npos || (sn.size() == 1 && sn.front() != values[1]))
        return "the body's sn \"" + values[1] + "\" is not the sn: line's";
    return {};
}

Reply RefusedReply(const std::string& line) {
    return JsonReply(400, nlohmann::json{{"code", 400}, {"message", line}});
}

}  // namespace sim
