// The stand-in's orchestrator: connect, gateway check, filter list, heartbeat (with its route callback),
// disconnect notice, diagnosis upload and upgrade, answered from the tenant's "orch" data (sim/README.md
// describes its form). What the client sent is kept in tenant.state["orch"]; GET <base>/orch/_state shows it.
#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "Operations.h"
#include "RequestRules.h"
#include "SimReplies.h"

namespace sim {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::size_t kMaxKeptBodies = 200;  // per list in the state, the oldest go first
constexpr int kDefaultRefusedReason = 2;

std::string Text(const json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

void AddHeaders(Reply& reply, const json& headers) {
    if (!headers.is_object()) return;
    for (const auto& [name, value] : headers.items()) reply.headers.emplace_back(name, Text(value));
}

// Answers keep their keys in the order written: the client reads single values by searching the text,
// and some of its searches start at a key (the heartbeat's callbackUrl comes after "action":2).
Reply OrderedReply(int status, const ordered_json& body, const json& headers = json()) {
    Reply reply;
    reply.status = status;
    reply.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    reply.headers.emplace_back("Content-Type", "application/json");
    AddHeaders(reply, headers);
    return reply;
}

// A step's own body, sent as it is (a text) or as its JSON text.
Reply RawReply(int status, const json& body, const json& headers) {
    Reply reply = TextReply(status, Text(body));
    reply.headers = {{"Content-Type", "application/json"}};
    AddHeaders(reply, headers);
    return reply;
}

// "orchLogfile": true or a text in a step becomes the header the client looks for.
json HeadersOf(const json& step) {
    json headers =
        step.contains("headers") && step.at("headers").is_object() ? step.at("headers") : json::object();
    if (step.contains("orchLogfile")) {
        const json& v = step.at("orchLogfile");
        if (v.is_string()) headers["orch-logfile"] = v;
        if (v == true) headers["orch-logfile"] = "1";
    }
    return headers;
}

std::string Md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

const json& Section(const CTenant& tenant, const char* key) {
    static const json empty = json::object();
    const json& data = tenant.Data();
    if (!data.contains("orch") || !data.at("orch").is_object()) return empty;
    const json& orch = data.at("orch");
    return orch.contains(key) ? orch.at(key) : empty;
}

// A section is one answer (an object) or a sequence of them (an array): the n-th request gets the n-th
// entry and the last one repeats.
json Step(const json& section, int64_t index) {
    if (section.is_array()) {
        if (section.empty()) return json::object();
        return section.at(static_cast<std::size_t>(std::min<int64_t>(index, int64_t(section.size()) - 1)));
    }
    return section.is_object() ? section : json::object();
}

void Keep(json& list, json item) {
    if (!list.is_array()) list = json::array();
    list.push_back(std::move(item));
    if (list.size() > kMaxKeptBodies) list.erase(list.begin());
}

int64_t Bump(json& state, const char* key) {
    const int64_t n = state.value(key, int64_t(0));
    state[key] = n + 1;
    return n;  // the count before this request: the index into a sequence
}

// An error answer the client understands: "message" must be present for it to read "code" and
// "invalidReasonCode" at all. A step may give its own body instead.
Reply ErrorReply(int status, const json& step, const char* defaultMessage) {
    if (step.contains("body")) return RawReply(status, step.at("body"), HeadersOf(step));
    ordered_json body;
    body["code"] = step.value("code", status);
    if (step.contains("invalidReasonCode") && !step.at("invalidReasonCode").is_null()) {
        body["invalidReasonCode"] = step.at("invalidReasonCode");
    }
    if (!step.contains("message")) {
        body["message"] = defaultMessage;
    } else if (!step.at("message").is_null()) {
        body["message"] = step.at("message");
    }
    return OrderedReply(status, body, HeadersOf(step));
}

// The orchestrator's token rule: a token listed in "tokens" ("*" lets any non-empty token in), or one
// the tenant's sign-in granted (state "auth"/"tokens", a list or an object keyed by token), unless
// "revoked" maps it to an invalidReasonCode. Caller holds tenant.lock.
bool Authorized(const OpRequest& op, CTenant& tenant, Reply& reply) {
    const std::string token = op.request.Header("X-KX-AUTH-HEADER");
    const json& data = tenant.Data();
    const json orch = data.contains("orch") && data.at("orch").is_object() ? data.at("orch") : json::object();
    const json revoked = orch.value("revoked", json::object());
    if (!token.empty() && revoked.is_object() && revoked.contains(token)) {
        const int reason =
            revoked.at(token).is_number() ? revoked.at(token).get<int>() : kDefaultRefusedReason;
        reply = ErrorReply(401, json{{"invalidReasonCode", reason}},
                           reason == 1 ? "The password must be changed" : "The token is no longer valid");
        return false;
    }
    bool known = false;
    if (!token.empty()) {
        for (const json& t : orch.value("tokens", json::array())) {
            known = known || (t.is_string() && (t == token || t == "*"));
        }
        const json& auth = tenant.state.contains("auth") ? tenant.state.at("auth") : json();
        if (!known && auth.is_object() && auth.contains("tokens")) {
            const json& granted = auth.at("tokens");
            if (granted.is_object()) known = granted.contains(token);
            if (granted.is_array())
                known = std::find(granted.begin(), granted.end(), json(token)) != granted.end();
        }
    }
    if (known) return true;
    reply = ErrorReply(401, json{{"invalidReasonCode", orch.value("refusedReason", kDefaultRefusedReason)}},
                       "The token is invalid");
    return false;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The host name of a base URL, without port (and without the brackets of an IPv6 literal).
std::string HostOf(const std::string& base) {
    auto start = base.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    std::string host = base.substr(start, base.find('/', start) - start);
    if (!host.empty() && host.front() == '[') return host.substr(1, host.find(']') - 1);
    return host.substr(0, host.find(':'));
}

// The filter document exactly as served, on one line (the client caches its first line).
std::string FilterDocument(const json& filter) {
    if (filter.contains("text")) return filter.at("text").get<std::string>();
    ordered_json doc;
    doc["ipSetMode"] = filter.contains("ipSetMode") ? filter.at("ipSetMode") : json(0);
    doc["whiteIpSet"] = filter.contains("whiteIpSet") ? filter.at("whiteIpSet") : json::array();
    doc["blackIpSet"] = filter.contains("blackIpSet") ? filter.at("blackIpSet") : json::array();
    return doc.dump();
}

Reply Connect(const OpRequest& op, CTenant& tenant, json& state) {
    const json section = Section(tenant, "connect");
    json body;
    try {
        body = json::parse(op.request.body);
    } catch (const std::exception&) {
        return ErrorReply(400, json::object(), "The request is not JSON");
    }
    const int64_t index = Bump(state, "connects");
    Keep(state["connectBodies"], op.request.body);
    const json step = Step(section, index);
    if (step.value("status", 200) != 200)
        return ErrorReply(step.value("status", 200), step, "Connection refused");

    // A client that asks to choose its mode ("connectMode":3) gets the mode the scenario keeps for it.
    std::string mode = Upper(step.value("mode", std::string("NATIVE")));
    if (body.is_object() && body.value("connectMode", 0) == 3 && step.contains("clientSpecifyMode")) {
        mode = Upper(step.at("clientSpecifyMode").get<std::string>());
    }
    const bool mobileDetect = mode == "MOBILE_DETECT";
    const json filter = Section(tenant, "filter");
    const std::string site = filter.value("siteTemplateId", std::string("site-1"));
    const int version = filter.value("version", 1);
    state["mode"] = mode;
    state["checks"] = 0;  // every connect starts a new series of gateway checks
    const std::string& base = op.base;

    ordered_json a;
    a["resultCode"] = 0;
    a["connectMode"] = mobileDetect ? "NATIVE" : mode;
    a["mobileDetect"] = mobileDetect;
    a["heartbeatUrl"] = base + "/orch/heartbeat";
    a["heartbeatInterval"] = 10;
    a["mobileDetectMaxInvalidTime"] = 120000;
    a["mobileTrafficDownloadUrl"] = base + "/orch/filter/" + site + "/" + std::to_string(version) + "/list";
    a["siteTemplateId"] = site;
    a["mobileTrafficVersion"] = version;
    a["popIpsEnable"] = false;
    a["remoteIps"] = json::array();
    a["lanAssignIp"] = "";
    a["allowClientSpecifyMode"] = false;
    a["orchId"] = 1;
    a["cpeId"] = 1001;
    a["customerId"] = 1;
    a["orchDomains"] = json::array({HostOf(base)});
    if (mode == "NATIVE" || mobileDetect) {
        a["commuServerAddr"] = "127.0.0.1:4433";
        a["candidateCommServers"] = json::array();
    }
    if (mode == "VCPE" || mode == "DCPE") {
        a["checkStatusUrl"] = base + "/orch/check/" + (mode == "VCPE" ? "vcpe" : "dcpe");
        a["checkRepeatTimes"] = 8;
        a["specialCaseCode"] = 0;
    }
    if (mode == "VCPE") {
        a["vgwIp"] = "192.0.2.10";
        a["publicIp"] = "198.51.100.7";
        a["ipsecName"] = "vcpe-user";
        a["ipsecPassword"] = "vcpe-pass";
        a["psk"] = "vcpe-psk";
    }
    // The scenario's values come last: they override any key, and null removes one.
    const json values = step.value("values", json::object());
    for (const auto& [key, value] : values.items()) {
        if (value.is_null()) {
            a.erase(key);
        } else {
            a[key] = value;
        }
    }
    return OrderedReply(200, a, HeadersOf(step));
}

// VCPE: a body holding "true" once the gateway is live; DCPE: "popIp" with "statusCode" 0.
Reply GatewayCheck(const std::string& kind, CTenant& tenant, json& state) {
    const int64_t index = Bump(state, "checks");
    Bump(state, "checksTotal");
    const json gateway = Step(Section(tenant, "gateway"), 0);
    if (gateway.value("status", 200) != 200)
        return ErrorReply(gateway.value("status", 200), gateway, "Check failed");
    const int liveAfter = gateway.value("liveAfter", 0);
    const bool live = liveAfter >= 0 && index >= liveAfter;
    if (kind == "vcpe") return TextReply(200, live ? "true" : "false");
    ordered_json a;
    a["popIp"] = live ? gateway.value("popIp", std::string("192.0.2.20")) : std::string();
    a["statusCode"] = live ? 0 : 1;
    a["ipsecName"] = gateway.value("ipsecName", std::string("dcpe-user"));
    a["ipsecPassword"] = gateway.value("ipsecPassword", std::string("dcpe-pass"));
    a["psk"] = gateway.value("psk", std::string("dcpe-psk"));
    return OrderedReply(200, a);
}

Reply FilterList(CTenant& tenant, json& state) {
    Bump(state, "filterDownloads");
    const json filter = Section(tenant, "filter");
    if (filter.value("status", 200) != 200)
        return ErrorReply(filter.value("status", 200), filter, "No filter list");
    Reply reply = TextReply(200, FilterDocument(filter.is_object() ? filter : json::object()));
    reply.headers = {{"Content-Type", "application/json"}};
    return reply;
}

Reply Heartbeat(const OpRequest& op, CTenant& tenant, json& state) {
    const int64_t index = Bump(state, "heartbeats");
    Keep(state["heartbeatBodies"], op.request.body);
    const json step = Step(Section(tenant, "heartbeat"), index);
    const json headers = HeadersOf(step);
    const int status = step.value("status", 200);
    if (status != 200) return ErrorReply(status, step, "Heartbeat refused");
    if (step.contains("body")) return RawReply(200, step.at("body"), headers);
    ordered_json a;
    a["resultCode"] = 0;
    const int action = step.value("action", 0);
    a["action"] = action;
    if (action == 2) {
        // The callback hands out the routes of this step; the client confirms at the URL without its query.
        const std::string id = std::to_string(index);
        state["routes"][id] = step.value("routes", json::array());
        a["callbackUrl"] = op.base + "/orch/callback?seq=" + id;
    }
    return OrderedReply(200, a, headers);
}

Reply Callback(const OpRequest& op, json& state) {
    const std::string seq = op.request.QueryValue("seq");
    if (seq.empty()) {
        Bump(state, "callbackAcks");
        return OrderedReply(200, ordered_json{{"code", 0}});
    }
    Keep(state["callbacks"], seq);
    const json routes =
        state.contains("routes") && state["routes"].contains(seq) ? state["routes"][seq] : json();
    if (routes.is_null()) return ErrorReply(404, json::object(), "Unknown callback");
    return OrderedReply(200, ordered_json{{"code", 0}, {"routes", routes}});
}

Reply Disconnect(const OpRequest& op, CTenant& tenant, json& state) {
    const int64_t index = Bump(state, "disconnects");
    // Kept as text, as it came (the rules have checked it against the template).
    Keep(state["disconnectBodies"], op.request.body);
    const json step = Step(Section(tenant, "disconnect"), index);
    const int status = step.value("status", 200);
    if (status != 200) return ErrorReply(status, step, "Disconnect refused");
    return OrderedReply(200, ordered_json{{"code", 0}}, HeadersOf(step));
}

Reply UploadRequest(const OpRequest& op, CTenant& tenant, json& state) {
    const json upload = Step(Section(tenant, "upload"), 0);
    const int64_t n = Bump(state, "uploadRequests");
    Keep(state["uploadRequestBodies"], op.request.body);
    json body;
    try {
        body = json::parse(op.request.body);
    } catch (const std::exception&) {
        return ErrorReply(400, json::object(), "The request is not JSON");
    }
    const int status = upload.value("urlStatus", 200);
    if (status != 200) return ErrorReply(status, upload, "Upload refused");
    // The service files an upload under the customer, the installation and the archive it announces: a
    // request without them (or with a device number that is not a number) is refused.
    const auto text = [&](const char* key) { return body.contains(key) && body.at(key).is_string(); };
    const bool sized = body.contains("fileSize") && body.at("fileSize").is_number_unsigned();
    const bool cpeOk = !body.contains("cpeId") || body.at("cpeId").is_number_integer();
    if (!body.is_object() || !text("customerId") || !text("sn") || !text("fileName") || !sized || !cpeOk)
        return ErrorReply(400, json{{"code", 400}}, "The upload request lacks a field");
    const std::string requestId = "req-" + std::to_string(n + 1);
    const std::string logId = "log-" + std::to_string(n + 1);
    state["uploads"][requestId] = json{{"logId", logId},
                                       {"announcedSize", body.value("fileSize", int64_t(-1))},
                                       {"fileName", body.value("fileName", std::string())},
                                       {"size", -1}};
    ordered_json a;
    a["code"] = 0;
    a["uploadUrl"] = op.base + "/orch/upload/" + requestId;
    a["requestId"] = requestId;
    a["logId"] = logId;
    return OrderedReply(200, a);
}

Reply UploadPut(const OpRequest& op, CTenant& tenant, json& state, const std::string& requestId) {
    json& uploads = state["uploads"];
    if (!uploads.is_object() || !uploads.contains(requestId))
        return ErrorReply(404, json::object(), "Unknown upload");
    json& entry = uploads[requestId];
    if (op.request.method == "GET") {
        // The stored archive, byte for byte, for a test to compare.
        if (!entry.contains("bytesBase64")) return ErrorReply(404, json::object(), "Nothing uploaded");
        Reply reply = TextReply(200, Unbase64(entry.at("bytesBase64").get<std::string>()));
        reply.headers = {{"Content-Type", "application/zip"}};
        return reply;
    }
    const json upload = Step(Section(tenant, "upload"), 0);
    const int status = upload.value("putStatus", 200);
    entry["puts"] = entry.value("puts", 0) + 1;
    if (status != 200) return TextReply(status, upload.value("putBody", std::string("upload refused")));
    entry["size"] = op.request.body.size();
    entry["md5"] = Md5Hex(op.request.body);
    entry["bytesBase64"] = Base64(op.request.body);
    entry["contentType"] = op.request.Header("Content-Type");
    entry["disposition"] = op.request.Header("Content-Disposition");
    return TextReply(200, "");
}

Reply UploadResult(const OpRequest& op, CTenant& tenant, json& state) {
    Bump(state, "uploadResults");
    Keep(state["uploadResultBodies"], op.request.body);
    const json upload = Step(Section(tenant, "upload"), 0);
    const int status = upload.value("resultStatus", 200);
    if (status != 200) return ErrorReply(status, upload, "Result refused");
    // A report names the upload the service handed out, by its request and log identifiers.
    json body;
    try {
        body = json::parse(op.request.body);
    } catch (const std::exception&) {
        return ErrorReply(400, json{{"code", 400}}, "The report is not JSON");
    }
    const std::string requestId = body.is_object() ? body.value("requestId", std::string()) : std::string();
    const json& uploads = state["uploads"];
    if (!uploads.is_object() || !uploads.contains(requestId) ||
        uploads.at(requestId).value("logId", std::string()) != body.value("logId", std::string()))
        return ErrorReply(400, json{{"code", 400}}, "Unknown upload");
    return OrderedReply(200, ordered_json{{"code", 0}});
}

// The installer the upgrade offers: a file, inline text or Base64, or a small stand-in program.
bool UpgradeFile(const json& upgrade, std::string& bytes, std::string& error) {
    if (upgrade.contains("file")) {
        const std::string path = upgrade.at("file").get<std::string>();
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read upgrade file " + path;
            return false;
        }
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (upgrade.contains("contentBase64")) {
        bytes = Unbase64(upgrade.at("contentBase64").get<std::string>());
    } else if (upgrade.contains("content")) {
        bytes = upgrade.at("content").get<std::string>();
    } else {
        bytes = std::string("MZ\x90\0", 4) + "velora stand-in installer " +
                upgrade.value("version", std::string());
    }
    return true;
}

Reply Upgrade(const OpRequest& op, CTenant& tenant, json& state) {
    Bump(state, "upgradeChecks");
    Keep(state["upgradeBodies"], op.request.body);
    const json upgrade = Step(Section(tenant, "upgrade"), 0);
    const int status = upgrade.value("status", 200);
    if (status != 200) return ErrorReply(status, upgrade, "Upgrade check failed");
    std::string bytes, error;
    if (!UpgradeFile(upgrade, bytes, error)) return ErrorReply(500, json::object(), error.c_str());
    ordered_json a;
    a["code"] = 0;
    a["version"] = upgrade.value("version", std::string("9.9.9"));
    a["minVersion"] = upgrade.value("minVersion", std::string("1.0.0"));
    a["checksum"] = upgrade.contains("checksum") ? upgrade.at("checksum").get<std::string>() : Md5Hex(bytes);
    a["url"] =
        upgrade.contains("url") ? upgrade.at("url").get<std::string>() : op.base + "/orch/upgrade/setup.exe";
    a["ignore"] = upgrade.value("ignore", false);
    a["checkingPeriod"] = upgrade.value("checkingPeriod", 600);
    a["releaseNote"] = upgrade.value("releaseNote", std::string("新版本"));
    a["releaseNoteEn"] = upgrade.value("releaseNoteEn", std::string("A new version"));
    return OrderedReply(200, a);
}

Reply UpgradeDownload(CTenant& tenant, json& state) {
    Bump(state, "upgradeDownloads");
    const json upgrade = Step(Section(tenant, "upgrade"), 0);
    std::string bytes, error;
    if (!UpgradeFile(upgrade, bytes, error)) return ErrorReply(404, json::object(), error.c_str());
    Reply reply = TextReply(200, std::move(bytes));
    reply.headers = {{"Content-Type", "application/octet-stream"}};
    return reply;
}

// The state without the uploaded bytes (GET the upload URL for those).
json StateView(const json& state) {
    json view = state;
    if (view.contains("uploads") && view["uploads"].is_object()) {
        for (json& entry : view["uploads"]) entry.erase("bytesBase64");
    }
    return view;
}

}  // namespace

bool OrchOperations(const OpRequest& op, CTenant& tenant, Reply& reply) {
    const std::string& path = op.path;
    const std::string& method = op.request.method;
    std::lock_guard<std::mutex> lock(tenant.lock);
    json& state = tenant.state["orch"];
    if (!state.is_object()) state = json::object();
    const Request& request = op.request;
    const std::string mode = state.value("mode", std::string());
    // Answers one of our paths: the method must match, the request must keep the rules of its kind (a
    // refusal is a 400 naming the fault), and a signed operation wants an accepted token.
    auto answer = [&](const char* wanted, bool signedIn, auto rules, auto handler) {
        if (method != wanted && !(std::string_view(wanted) == "PUT" && method == "GET")) {
            reply = ErrorReply(405, json::object(), "Method not allowed");
        } else if (const std::string wrong = rules(); !wrong.empty()) {
            // Kept, so that a test whose client shrugs a 400 off (a heartbeat) still sees the refusal.
            Keep(state["refusals"], method + " " + path + ": " + wrong);
            reply = RefusedReply(wrong);
        } else if (!signedIn || Authorized(op, tenant, reply)) {
            reply = handler();
        }
        return true;
    };
    const auto none = [] { return std::string(); };
    // The connect request, the heartbeat, its callback and the disconnect notice: the client's three
    // lines, JSON, and the body of the template.
    const auto clientRequest = [&](auto body) {
        return [&request, body] {
            std::string wrong = CheckClientLines(request, true);
            if (wrong.empty()) wrong = CheckContentType(request, "application/json");
            if (wrong.empty()) wrong = body();
            return wrong;
        };
    };
    // The diagnosis upload's two POSTs: JSON with the token line.
    const auto tokenJson = [&] {
        std::string wrong = CheckContentType(request, "application/json");
        if (wrong.empty() && request.Header("X-KX-AUTH-HEADER").empty())
            wrong = "the request has no X-KX-AUTH-HEADER: line";
        return wrong;
    };
    try {
        // Paths the client derives from its auth URL (<orchDomain>/api/mobile/v2/auth), exactly.
        if (path == "/api/mobile/v2/disconnect")
            return answer("POST", true, clientRequest([&] { return CheckDisconnectBody(request); }),
                          [&] { return Disconnect(op, tenant, state); });
        if (path == "/api/mobile/v2/connect")
            return answer("POST", true, clientRequest([&] { return CheckConnectBody(request); }),
                          [&] { return Connect(op, tenant, state); });
        if (path == "/api/mobile/v2/log/url")
            return answer("POST", true, tokenJson, [&] { return UploadRequest(op, tenant, state); });
        if (path == "/api/mobile/v2/log/result")
            return answer("POST", true, tokenJson, [&] { return UploadResult(op, tenant, state); });
        if (path == "/s/mobile/v1/upgrade")
            return answer(
                "POST", false, [&] { return CheckContentType(request, "application/x-www-form-urlencoded"); },
                [&] { return Upgrade(op, tenant, state); });
        // URLs the stand-in hands out itself.
        if (path == "/orch/check/vcpe" || path == "/orch/check/dcpe") {
            // An empty form POST and nothing of the client's own lines.
            const auto check = [&] {
                std::string wrong = CheckNoClientLines(request);
                if (wrong.empty()) wrong = CheckContentType(request, "application/x-www-form-urlencoded");
                if (wrong.empty()) wrong = CheckEmptyBody(request);
                return wrong;
            };
            return answer("POST", false, check, [&] { return GatewayCheck(path.substr(12), tenant, state); });
        }
        if (StartsWith(path, "/orch/filter/"))
            return answer("GET", false, none, [&] { return FilterList(tenant, state); });
        if (path == "/orch/heartbeat")
            return answer("POST", true, clientRequest([&] { return CheckHeartbeatBody(request, mode); }),
                          [&] { return Heartbeat(op, tenant, state); });
        if (path == "/orch/callback")
            return answer("POST", true, clientRequest([&] { return CheckEmptyBody(request); }),
                          [&] { return Callback(op, state); });
        if (StartsWith(path, "/orch/upload/"))  // PUT stores the archive, GET gives it back
            return answer("PUT", false, none, [&] { return UploadPut(op, tenant, state, path.substr(13)); });
        if (path == "/orch/upgrade/setup.exe")
            return answer("GET", false, none, [&] { return UpgradeDownload(tenant, state); });
        if (path == "/orch/_state")
            return answer("GET", false, none, [&] { return JsonReply(200, StateView(state)); });
    } catch (const std::exception& e) {
        // A scenario value of the wrong type: say so rather than drop the connection.
        reply = JsonReply(500, json{{"message", std::string("scenario data cannot be used: ") + e.what()}});
        return true;
    }
    return false;
}

}  // namespace sim
