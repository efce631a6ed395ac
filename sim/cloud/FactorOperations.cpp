// The stand-in's SMS codes, OTP recovery, the identity provider, password change and sign-out. Data under
// the tenant's "factors" key; state under tenant.state["factors"]; granted tokens also join
// tenant.state["auth"]["tokens"], so the other operations accept them.
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cctype>
#include <string>

#include "Operations.h"
#include "SimReplies.h"

namespace sim {
namespace {

using nlohmann::json;
using ojson = nlohmann::ordered_json;

constexpr std::string_view kRedirectUri = "com.halvane://redirect";

std::string RandomText(std::size_t length, std::string_view alphabet) {
    std::string out;
    while (out.size() < length) {
        unsigned char b[32];
        if (RAND_bytes(b, sizeof(b)) != 1) break;
        for (unsigned char c : b) {
            if (out.size() == length) break;
            out.push_back(alphabet[c % alphabet.size()]);
        }
    }
    return out;
}

std::string Base64Url(const unsigned char* data, std::size_t size) {
    std::string text = Base64(std::string_view(reinterpret_cast<const char*>(data), size));
    for (char& c : text) {
        if (c == '+') c = '-';
        if (c == '/') c = '_';
    }
    while (!text.empty() && text.back() == '=') text.pop_back();
    return text;
}

std::string S256(const std::string& verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return Base64Url(digest, sizeof(digest));
}

std::string UrlEscape(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

json ParseBody(const Request& request) {
    json body = json::parse(request.body, nullptr, false);
    return body.is_object() ? body : json::object();
}

std::string Text(const json& object, const char* key, std::string fallback = {}) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

int Int(const json& object, const char* key, int fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

const json& Section(const CTenant& tenant, const char* name) {
    static const json empty = json::object();
    const json& data = tenant.Data();
    const auto factors = data.find("factors");
    if (factors == data.end() || !factors->is_object()) return empty;
    const auto section = factors->find(name);
    return section != factors->end() && section->is_object() ? *section : empty;
}

json& Obj(json& j) {
    if (!j.is_object()) j = json::object();
    return j;
}

json& State(CTenant& tenant) {
    return Obj(tenant.state["factors"]);
}

// A section of the factor state (an object, made on first use).
json& State(CTenant& tenant, const char* name) {
    return Obj(State(tenant)[name]);
}

void GrantToken(CTenant& tenant, const std::string& token) {
    json& tokens = tenant.state["auth"]["tokens"];
    if (!tokens.is_array()) tokens = json::array();
    tokens.push_back(token);
}

bool TokenKnown(CTenant& tenant, const std::string& token) {
    if (token.empty()) return false;
    const json& tokens = tenant.state["auth"]["tokens"];
    if (tokens.is_array()) {
        for (const json& t : tokens) {
            if (t.is_string() && t.get<std::string>() == token) return true;
        }
    }
    const json& extra = Section(tenant, "password").value("tokens", json::array());
    for (const json& t : extra) {
        if (t.is_string() && t.get<std::string>() == token) return true;
    }
    return false;
}

Reply Error(int status, int code, const std::string& message) {
    return JsonReply(status, ojson{{"code", code}, {"message", message}});
}

// Every operation of the service asks for the device's lines "sn:" and "type:windows".
bool DeviceHeadersMissing(const Request& request, Reply& reply) {
    if (request.Header("type") == "windows" && !request.Header("sn").empty()) return false;
    reply = Error(400, 1999, "Bad request. Missing device headers");
    return true;
}

// --- SMS -------------------------------------------------------------------------------------------

Reply SmsSend(const OpRequest& op, CTenant& tenant) {
    const json& sms = Section(tenant, "sms");
    if (Reply refused; DeviceHeadersMissing(op.request, refused)) return refused;
    // The SMS step belongs to a sign-in: its middle token comes with the request.
    if (op.request.Header("middleToken").empty())
        return Error(400, 1999, "Bad request. Missing middle token");
    if (const auto failure = sms.find("sendFailure"); failure != sms.end() && failure->is_object()) {
        return JsonReply(Int(*failure, "status", 500), failure->value("body", json::object()));
    }
    const json body = ParseBody(op.request);
    json& state = State(tenant, "sms");
    const int number = state.value("count", 0) + 1;
    state["count"] = number;
    const std::string id = "sms-" + std::to_string(number);
    const std::string code = Text(sms, "code", RandomText(6, "0123456789"));
    const json sent = {{"id", id},
                       {"code", code},
                       {"phoneNumber", Text(body, "phoneNumber")},
                       {"customerId", body.contains("customerId") ? body["customerId"].dump() : ""},
                       {"accountName", Text(body, "accountName")},
                       {"encryptAccountName", Text(body, "encryptAccountName")},
                       {"middleToken", op.request.Header("middleToken")},
                       {"pending", Int(sms, "statusPending", 0)}};
    state["sent"][id] = sent;
    state["last"] = sent;
    return JsonReply(200, ojson{{"id", id}});
}

Reply SmsStatus(const OpRequest& op, CTenant& tenant) {
    const json& sms = Section(tenant, "sms");
    const std::string id = Text(ParseBody(op.request), "id");
    json& sent = State(tenant, "sms")["sent"];
    if (!sent.is_object() || !sent.contains(id))
        return JsonReply(200, ojson{{"code", 424}, {"message", "unknown id"}});
    json& entry = sent[id];
    const int pending = entry.value("pending", 0);
    if (pending > 0) {
        entry["pending"] = pending - 1;
        return JsonReply(200, ojson{{"code", 427}});
    }
    if (sms.contains("finalAnswer")) return JsonReply(200, sms["finalAnswer"]);
    return JsonReply(200, ojson{{"code", Int(sms, "finalCode", 0)}});
}

const json* SmsAccount(const CTenant& tenant, const std::string& name) {
    const json& sms = Section(tenant, "sms");
    const auto accounts = sms.find("accounts");
    if (accounts == sms.end() || !accounts->is_array()) return nullptr;
    for (const json& account : *accounts) {
        if (account.is_object() && Text(account, "accountName") == name) return &account;
    }
    return nullptr;
}

ojson GrantAnswer(CTenant& tenant, const json& account, const std::string& fallbackToken) {
    const std::string token = Text(account, "token", fallbackToken);
    GrantToken(tenant, token);
    ojson answer = {{"X-KX-AUTH-HEADER", token}, {"accountName", Text(account, "accountName")}};
    if (account.contains("windowsProcessNameExpression")) {
        answer["windowsProcessNameExpression"] = account["windowsProcessNameExpression"];
    }
    if (account.contains("windowsVersionList")) answer["windowsVersionList"] = account["windowsVersionList"];
    return answer;
}

Reply SmsVerify(const OpRequest& op, CTenant& tenant) {
    if (Reply refused; DeviceHeadersMissing(op.request, refused)) return refused;
    const json body = ParseBody(op.request);
    const std::string name = Text(body, "accountName");
    const json* account = SmsAccount(tenant, name);
    if (!account || Text(*account, "password") != Text(body, "password")) {
        return Error(400, 1102, "Invalid account or password");
    }
    json& state = State(tenant, "sms");
    state["verifications"].push_back(body);
    // The code sent last to this account's number.
    std::string expected;
    const json sent = state.value("sent", json::object());
    for (const auto& [id, entry] : sent.items()) {
        if (Text(entry, "phoneNumber") == Text(*account, "phoneNumber")) expected = Text(entry, "code");
    }
    if (expected.empty() || Text(body, "verification") != expected) {
        return Error(400, 1105, "Verification code error");
    }
    if (account->value("bindDevice", false)) {
        // The service refuses a device that is not bound to the account with code 401 and
        // "mobileBindDevice":false; the client finds the word for it by itself.
        return JsonReply(401, ojson{{"code", 401},
                                    {"message", "The device is not bound to this account"},
                                    {"mobileBindDevice", false},
                                    {"accountName", name}});
    }
    const int polls = Int(*account, "pollPending", -1);
    if (polls >= 0) {
        const std::string requestId = Text(body, "requestIdForPoll");
        json& pending = state["polls"];
        if (requestId.empty() || !pending.contains(requestId)) {
            const std::string id = "poll-" + RandomText(8, "0123456789abcdef");
            pending[id] = polls;
            return JsonReply(200, ojson{{"requestIdForPoll", id},
                                        {"authResultCheckUrl", op.base + "/_factors/smsCheck/" + id},
                                        {"authResultCheckInterval", Int(*account, "pollInterval", 0)},
                                        {"authResultCheckTimes", Int(*account, "pollTimes", 5)}});
        }
        if (pending[requestId].get<int>() > 0) return Error(400, 1106, "Not approved yet");
    }
    return JsonReply(200, GrantAnswer(tenant, *account, "sms-token-" + RandomText(12, "0123456789abcdef")));
}

Reply SmsCheck(const OpRequest& op, CTenant& tenant) {
    const std::string id = op.path.substr(op.path.rfind('/') + 1);
    json& pending = State(tenant, "sms")["polls"];
    if (!pending.is_object() || !pending.contains(id)) return Error(404, 404, "unknown request");
    const int left = pending[id].get<int>();
    if (left > 0) {
        pending[id] = left - 1;
        return JsonReply(200, ojson{{"resultCode", 1}});
    }
    return JsonReply(200, ojson{{"resultCode", 0}});
}

// --- One-time password recovery ------------------------------------------------------------------

Reply OtpRecover(const OpRequest& op, CTenant& tenant) {
    const json& otp = Section(tenant, "otp");
    const json body = ParseBody(op.request);
    State(tenant, "otp")["recoveries"].push_back(body);
    if (Text(body, "recoverCode").empty() || Text(body, "recoverCode") != Text(otp, "recoverCode")) {
        return Error(400, 1121, "Invalid recovery code");
    }
    if (otp.contains("otpMiddleToken") && Text(body, "otpMiddleToken") != Text(otp, "otpMiddleToken")) {
        return Error(400, 1122, "Invalid middle token");
    }
    return JsonReply(200, ojson{{"otpKey", Text(otp, "newOtpKey", "JBSWY3DPEHPK3PXP")},
                                {"accountName", Text(otp, "accountName")},
                                {"otpMiddleToken", Text(otp, "newMiddleToken", "otp-mid-recovered")}});
}

// --- Identity provider ---------------------------------------------------------------------------

Reply IdpParameters(const OpRequest& op, CTenant& tenant) {
    const json& idp = Section(tenant, "idp");
    const json body = ParseBody(op.request);
    State(tenant, "idp")["parameterRequests"].push_back(body);
    const std::string method = Text(idp, "codeChallengeMethod", "S256");
    ojson config = {
        {"authorizationCodeUrl", op.base + "/_idp/authorize"},
        {"clientIdParam", {{"key", "client_id"}, {"value", Text(idp, "clientId", "velora-desktop")}}},
        {"redirectUriParam", {{"key", "redirect_uri"}, {"value", "%redireuri"}}},
        {"stateParam", {{"key", "state"}, {"value", "%state"}}},
        {"scopeParam", {{"key", "scope"}, {"value", Text(idp, "scope", "openid profile")}}},
        {"codeChallengeParam", {{"key", "code_challenge"}, {"value", "%codechallenge"}}},
        {"reqQuery", json::array({{{"key", "response_type"}, {"value", "code"}},
                                  {{"key", "code_challenge_method"}, {"value", method}}})},
        {"pkceEnable", idp.value("pkce", true)},
        {"codeChallengeMethod", method},
        {"codeLength", Int(idp, "codeLength", 60)},
        {"responseCodeKey", "code"},
        {"responseErrorKey", "error"}};
    if (const auto extra = idp.find("params"); extra != idp.end() && extra->is_object())
        config.update(ojson(*extra));
    return JsonReply(200, ojson{{"code", 0}, {"authCodeConfig", config}});
}

Reply IdpAuthorize(const OpRequest& op, CTenant& tenant) {
    const json& idp = Section(tenant, "idp");
    const Request& r = op.request;
    const std::string redirect = r.QueryValue("redirect_uri");
    const std::string state = r.QueryValue("state");
    json& idpState = State(tenant, "idp");
    idpState["authorizeRequests"].push_back(r.target);
    if (redirect != kRedirectUri || r.QueryValue("client_id") != Text(idp, "clientId", "velora-desktop")) {
        return Error(400, 400, "unknown client or redirect URI");
    }
    Reply reply;
    reply.status = 302;
    std::string location = std::string(redirect) + "?";
    if (const std::string error = Text(idp, "error"); !error.empty()) {
        location += "error=" + UrlEscape(error) + "&state=" + UrlEscape(state);
    } else {
        const std::string code =
            RandomText(24, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
        idpState["codes"][code] = {{"state", state},
                                   {"challenge", r.QueryValue("code_challenge")},
                                   {"method", r.QueryValue("code_challenge_method")},
                                   {"used", false}};
        location += "code=" + code + "&state=" + UrlEscape(state);
    }
    reply.headers.emplace_back("Location", location);
    reply.headers.emplace_back("Content-Type", "text/plain");
    reply.body = "redirecting";
    return reply;
}

Reply CodeExchange(const OpRequest& op, CTenant& tenant) {
    const json& idp = Section(tenant, "idp");
    if (Reply refused; DeviceHeadersMissing(op.request, refused)) return refused;
    const json body = ParseBody(op.request);
    json& idpState = State(tenant, "idp");
    idpState["exchanges"].push_back(body);
    const std::string code = Text(body, "authorizationCode");
    json& codes = idpState["codes"];
    if (code.empty() || !codes.is_object() || !codes.contains(code) || codes[code].value("used", true)) {
        return Error(400, 1130, "Invalid authorization code");
    }
    json& entry = codes[code];
    entry["used"] = true;
    if (Text(body, "redirectUri") != kRedirectUri) return Error(400, 1131, "Redirect URI mismatch");
    if (Text(body, "identityProvider") != Text(idp, "identityProvider", "corp-sso")) {
        return Error(400, 1132, "Unknown identity provider");
    }
    const std::string challenge = Text(entry, "challenge");
    if (!challenge.empty()) {
        const std::string verifier = Text(body, "codeVerifier");
        std::string method = Text(entry, "method");
        for (char& c : method) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string expected = method == "S256" ? S256(verifier) : verifier;
        if (verifier.empty() || expected != challenge) return Error(400, 1133, "PKCE verification failed");
    }
    const std::string token = Text(idp, "token", "ext-token-" + RandomText(12, "0123456789abcdef"));
    GrantToken(tenant, token);
    return JsonReply(
        200, ojson{{"X-KX-AUTH-HEADER", token}, {"accountName", Text(idp, "accountName", "sso-user")}});
}

// --- Password change and sign-out ----------------------------------------------------------------

Reply ResetPassword(const OpRequest& op, CTenant& tenant) {
    const json& password = Section(tenant, "password");
    if (Reply refused; DeviceHeadersMissing(op.request, refused)) return refused;
    const std::string token = op.request.Header("X-KX-AUTH-HEADER");
    json& state = State(tenant, "password");
    const json body = ParseBody(op.request);
    state["requests"].push_back(body);
    if (const auto failure = password.find("failure"); failure != password.end() && failure->is_object()) {
        return JsonReply(Int(*failure, "status", 500), failure->value("body", json::object()));
    }
    if (!TokenKnown(tenant, token)) {
        return JsonReply(401,
                         ojson{{"code", 401}, {"message", "Token invalid"}, {"i18nKey", "Token invalid"}});
    }
    const std::string current =
        state.contains("current") ? state["current"].get<std::string>() : Text(password, "current");
    std::string oldPassword;
    std::string newPassword;
    if (body.contains("oldPassword")) {
        oldPassword = Text(body, "oldPassword");
        newPassword = Text(body, "newPassword");
    } else {
        // Decrypted and checked as the sign-in does: this server's key, a fresh time stamp, the escaped
        // value decoded once.
        std::string reason;
        if (!DecryptCredentialText(Text(body, "oldEncryptPassword"), oldPassword, reason) ||
            !DecryptCredentialText(Text(body, "newEncryptPassword"), newPassword, reason)) {
            return Error(400, 1999, "Bad request. " + reason);
        }
        state["encrypted"] = true;
    }
    if (oldPassword != current) {
        return JsonReply(400, ojson{{"code", 406},
                                    {"message", "Old password is incorrect"},
                                    {"i18nKey", "The old password is incorrect"}});
    }
    state["current"] = newPassword;
    return JsonReply(200, ojson{{"code", 0}});
}

Reply SignOut(const OpRequest& op, CTenant& tenant) {
    if (Reply refused; DeviceHeadersMissing(op.request, refused)) return refused;
    const std::string token = op.request.Header("X-KX-AUTH-HEADER");
    State(tenant)["signouts"].push_back(token);
    json& tokens = tenant.state["auth"]["tokens"];
    if (tokens.is_array()) {
        for (auto it = tokens.begin(); it != tokens.end();) {
            it = it->is_string() && it->get<std::string>() == token ? tokens.erase(it) : it + 1;
        }
    }
    return JsonReply(200, ojson{{"code", 0}, {"i18nKey", "Signed out"}});
}

bool Dispatch(const OpRequest& op, CTenant& tenant, Reply& reply) {
    const std::string& path = op.path;
    const std::string& method = op.request.method;
    if (method == "GET") {
        if (path == "/_factors/state") {
            json tokens = json::array();
            if (const auto auth = tenant.state.find("auth");
                auth != tenant.state.end() && auth->is_object()) {
                tokens = auth->value("tokens", json::array());
            }
            reply = JsonReply(200, json{{"factors", State(tenant)}, {"tokens", tokens}});
            return true;
        }
        if (path == "/_idp/authorize") {
            reply = IdpAuthorize(op, tenant);
            return true;
        }
        return false;
    }
    if (method != "POST") return false;
    if (path == "/api/mobile/v2/verification/send") {
        reply = SmsSend(op, tenant);
    } else if (path == "/api/smsStatus") {
        reply = SmsStatus(op, tenant);
    } else if (StartsWith(path, "/_factors/smsCheck/")) {
        reply = SmsCheck(op, tenant);
    } else if (path == "/api/mobile/v2/recoverOtpKey") {
        reply = OtpRecover(op, tenant);
    } else if (path == "/api/mobile/v1/auth/idp/param") {
        reply = IdpParameters(op, tenant);
    } else if (path == "/api/mobile/v2/resetpassword") {
        reply = ResetPassword(op, tenant);
    } else if (path == "/api/mobile/v2/signout") {
        reply = SignOut(op, tenant);
    } else if (path == "/api/mobile/v2/auth") {
        // The auth URL carries the sign-in too; only the SMS verification and the code exchange are ours.
        const json body = ParseBody(op.request);
        if (body.contains("verification")) {
            reply = SmsVerify(op, tenant);
        } else if (body.contains("authorizationCode")) {
            reply = CodeExchange(op, tenant);
        } else {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool FactorOperations(const OpRequest& op, CTenant& tenant, Reply& reply) {
    std::lock_guard<std::mutex> lock(tenant.lock);
    try {
        return Dispatch(op, tenant, reply);
    } catch (const std::exception& e) {
        // A data or state shape the operations did not expect: an answer, never a crash of the stand-in.
        reply = Error(500, 500, std::string("stand-in error: ") + e.what());
        return true;
    }
}

}  // namespace sim
