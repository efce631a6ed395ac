// The stand-in's discovery, privacy version, error catalogue, public key, sign-in methods, sign-in and
// polling, answered from a tenant's data (see sim/README.md, "Authentication data").
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdlib>
#include <random>

#include "Operations.h"
#include "SimReplies.h"

namespace sim {
namespace {

using nlohmann::json;
using ojson = nlohmann::ordered_json;

constexpr int64_t kMaxCredentialAgeMs = 5 * 60 * 1000;

// One RSA key for the life of the stand-in: the client encrypts credentials with its public half.
class CServerKey {
public:
    static CServerKey& Get() {
        static CServerKey key;
        return key;
    }
    const std::string& PublicBase64() const { return public_; }
    // PKCS #1 v1.5 decryption; false when the text is no ciphertext of this key.
    bool Decrypt(const std::string& cipher, std::string& plain) const {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key_, nullptr);
        bool ok =
            ctx && EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0;
        size_t size = 0;
        ok = ok && EVP_PKEY_decrypt(ctx, nullptr, &size,
                                    reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()) > 0;
        std::string out(size, '\0');
        ok = ok && EVP_PKEY_decrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &size,
                                    reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()) > 0;
        EVP_PKEY_CTX_free(ctx);
        if (!ok) return false;
        out.resize(size);
        plain = std::move(out);
        return true;
    }

private:
    CServerKey() {
        key_ = EVP_RSA_gen(2048);
        unsigned char* der = nullptr;
        const int size = key_ ? i2d_PUBKEY(key_, &der) : 0;
        if (size > 0) public_ = Base64(std::string_view(reinterpret_cast<const char*>(der), size));
        OPENSSL_free(der);
    }
    EVP_PKEY* key_ = nullptr;
    std::string public_;
};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string RandomHex(int bytes) {
    static std::mutex lock;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard<std::mutex> l(lock);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        const auto b = static_cast<unsigned>(random() & 0xFF);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

json Field(const json& data, const char* key) {
    return data.is_object() && data.contains(key) ? data[key] : json();
}

std::string Text(const json& j, const char* key, const std::string& fallback = {}) {
    const json v = Field(j, key);
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_integer()) return std::to_string(v.get<int64_t>());
    return fallback;
}

int Int(const json& j, const char* key, int fallback) {
    const json v = Field(j, key);
    return v.is_number_integer() ? v.get<int>() : fallback;
}

// A scripted override of an operation's answer: {"status": N, "body": any}.
bool Override(const json& scripted, Reply& reply) {
    if (!scripted.is_object()) return false;
    const json body = Field(scripted, "body");
    const int status = Int(scripted, "status", 200);
    reply = body.is_string() ? TextReply(status, body.get<std::string>())
                             : JsonReply(status, body.is_null() ? json::object() : body);
    return true;
}

ojson ErrorBody(int code, const std::string& message, const json& data) {
    ojson body{{"code", code}, {"message", message}};
    const json catalogue = Field(data, "errorCatalogue");
    if (catalogue.is_object() && Field(catalogue, "announce").is_boolean() &&
        catalogue["announce"].get<bool>()) {
        body["errorResourceVersion"] = Text(catalogue, "version", "1");
    }
    return body;
}

// ---- credentials --------------------------------------------------------------------------------

// "key:base64" of "value\nmillis": the value, or false (with the reason) when stale or malformed.
bool DecryptCredential(const std::string& text, std::string& value, std::string& reason) {
    const CServerKey& key = CServerKey::Get();
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || text.substr(0, colon) != key.PublicBase64()) {
        reason = "credential not made with this server's key";
        return false;
    }
    std::string plain;
    if (!key.Decrypt(Unbase64(text.substr(colon + 1)), plain)) {
        reason = "credential cannot be decrypted";
        return false;
    }
    const auto nl = plain.rfind('\n');
    const std::string millis = nl == std::string::npos ? std::string() : plain.substr(nl + 1);
    if (millis.empty() || millis.size() > 15 || millis.find_first_not_of("0123456789") != std::string::npos) {
        reason = "credential has no time stamp";
        return false;
    }
    if (std::llabs(NowMs() - std::stoll(millis)) > kMaxCredentialAgeMs) {
        reason = "credential is stale";
        return false;
    }
    value = plain.substr(0, nl);
    return true;
}

// An encrypted credential holds the value as the client writes it into a JSON string (escaped): decoded
// once, exactly as the JSON parser decodes a clear value. False when it is no valid string content.
bool DecodeJsonText(const std::string& escaped, std::string& value) {
    const json decoded = json::parse("\"" + escaped + "\"", nullptr, false);
    if (!decoded.is_string()) return false;
    value = decoded.get<std::string>();
    return true;
}

// ---- one-time passwords (RFC 6238, SHA-1, 30 s, 6 digits) ----------------------------------------

std::string Base32Decode(const std::string& text) {
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a';
        else if (c >= '2' && c <= '7')
            v = c - '2' + 26;
        else
            continue;
        buffer = (buffer << 5) | static_cast<uint32_t>(v);
        bits += 5;
        if (bits >= 8) {
            out += static_cast<char>((buffer >> (bits - 8)) & 0xFF);
            bits -= 8;
        }
    }
    return out;
}

std::string Totp(const std::string& secret, int64_t counter) {
    unsigned char message[8];
    for (int i = 7; i >= 0; --i) {
        message[i] = static_cast<unsigned char>(counter & 0xFF);
        counter >>= 8;
    }
    const std::string key = Base32Decode(secret);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), message, sizeof message, digest, &size);
    const int offset = digest[size - 1] & 0x0F;
    const uint32_t code = ((digest[offset] & 0x7Fu) << 24) | (digest[offset + 1] << 16) |
                          (digest[offset + 2] << 8) | digest[offset + 3];
    char out[8];
    std::snprintf(out, sizeof out, "%06u", code % 1000000u);
    return out;
}

// One step of clock drift either way is accepted, as authenticator apps expect.
bool TotpMatches(const std::string& secret, const std::string& code) {
    const int64_t step = NowMs() / 1000 / 30;
    for (int64_t d = -1; d <= 1; ++d) {
        if (Totp(secret, step + d) == code) return true;
    }
    return false;
}

// ---- operations ---------------------------------------------------------------------------------

json& AuthState(CTenant& tenant) {
    json& auth = tenant.state["auth"];
    if (!auth.is_object()) auth = json::object();
    for (const char* key : {"tokens", "otpMiddleTokens", "smsMiddleTokens", "polls", "boundOtp"}) {
        if (!auth.contains(key)) auth[key] = std::string(key) == "tokens" ? json::array() : json::object();
    }
    return auth;
}

bool KnownCustomer(const json& data, const std::string& id) {
    const json customers = Field(data, "customers");
    if (customers.is_array()) {
        for (const json& c : customers) {
            if ((c.is_string() && c.get<std::string>() == id) ||
                (c.is_number_integer() && std::to_string(c.get<int64_t>()) == id))
                return true;
        }
    }
    const json accounts = Field(data, "accounts");
    if (accounts.is_array()) {
        for (const json& a : accounts) {
            if (Text(a, "customerId") == id) return true;
        }
    }
    return false;
}

Reply Discovery(const OpRequest& op, const json& data, const char* which) {
    const json discovery = Field(data, "discovery");
    Reply reply;
    if (Override(Field(discovery, which), reply)) return reply;
    const std::string customer = op.request.QueryValue("customerId").empty()
                                     ? [&] {
                                           // The form body: customerId=..&sn=..&model=windows
                                           const std::string& b = op.request.body;
                                           const auto p = b.find("customerId=");
                                           if (p == std::string::npos) return std::string();
                                           const auto e = b.find('&', p);
                                           return b.substr(p + 11, e == std::string::npos ? std::string::npos : e - p - 11);
                                       }()
                                     : op.request.QueryValue("customerId");
    if (!KnownCustomer(data, customer)) {
        return JsonReply(404, ErrorBody(2001, "Customer not found", data));
    }
    return JsonReply(200, ojson{{"orchDomain", Text(discovery, "orchDomain", op.base)}});
}

ojson GrantAnswer(CTenant& tenant, const json& account) {
    const std::string token = "tok-" + RandomHex(16);
    AuthState(tenant)["tokens"].push_back(token);
    ojson answer{{"X-KX-AUTH-HEADER", token}, {"accountName", Text(account, "name")}};
    const json extra = Field(account, "answer");
    if (extra.is_object()) {
        for (auto it = extra.begin(); it != extra.end(); ++it) answer[it.key()] = it.value();
    }
    return answer;
}

const json* FindAccount(const json& data, const std::string& customer, const std::string& name) {
    const json& accounts = data.contains("accounts") ? data["accounts"] : data;
    if (!accounts.is_array()) return nullptr;
    for (const json& a : accounts) {
        if (Text(a, "customerId") == customer && Text(a, "name") == name) return &a;
    }
    return nullptr;
}

Reply SignIn(const OpRequest& op, CTenant& tenant) {
    const json& data = tenant.Data();
    const json body = json::parse(op.request.body, nullptr, false);
    if (!body.is_object()) return JsonReply(400, ErrorBody(1999, "Bad request. Body is no JSON", data));
    if (op.request.Header("type") != "windows" || op.request.Header("sn").empty()) {
        return JsonReply(400, ErrorBody(1999, "Bad request. Missing device headers", data));
    }
    const std::string customer = Text(body, "customerId");
    std::string name;
    std::string reason;
    if (body.contains("encryptAccountName")) {
        if (!DecryptCredentialText(Text(body, "encryptAccountName"), name, reason)) {
            return JsonReply(400, ErrorBody(1999, "Bad request. " + reason, data));
        }
    } else {
        name = Text(body, "accountName");
    }
    const json* account = FindAccount(data, customer, name);
    std::lock_guard<std::mutex> lock(tenant.lock);
    json& auth = AuthState(tenant);
    const std::string token = op.request.Header("X-KX-AUTH-HEADER");
    bool tokenOk = false;
    if (!token.empty()) {
        for (const json& t : auth["tokens"]) tokenOk = tokenOk || t.get<std::string>() == token;
    }
    if (!account) return JsonReply(401, ErrorBody(1007, "Wrong account or password", data));
    Reply reply;
    if (Override(Field(*account, "error"), reply)) return reply;
    if (!(tokenOk && !body.contains("password") && !body.contains("encryptPassword"))) {
        std::string password;
        if (body.contains("encryptPassword")) {
            if (!DecryptCredentialText(Text(body, "encryptPassword"), password, reason)) {
                return JsonReply(400, ErrorBody(1999, "Bad request. " + reason, data));
            }
        } else if (body.contains("password")) {
            password = Text(body, "password");
        } else {
            return JsonReply(401, ErrorBody(401, "The token is invalid", data));
        }
        if (password != Text(*account, "password")) {
            return JsonReply(401, ErrorBody(1007, "Wrong account or password", data));
        }
    }
    const std::string accountKey = customer + "/" + name;
    // Polling: the first request gets a request ID; the re-sent one with an approved ID is granted.
    if (Field(*account, "poll").is_number_integer()) {
        const std::string requestId = Text(body, "requestIdForPoll");
        if (!requestId.empty()) {
            json& poll = auth["polls"][requestId];
            if (poll.is_object() && poll["account"] == accountKey && poll["pending"].get<int>() <= 0) {
                auth["polls"].erase(requestId);
                return JsonReply(200, GrantAnswer(tenant, *account));
            }
            return JsonReply(403, ErrorBody(1999, "Forbidden. Request not approved", data));
        }
        const std::string id = "req-" + RandomHex(8);
        auth["polls"][id] = json{{"account", accountKey}, {"pending", (*account)["poll"].get<int>()}};
        return JsonReply(200, ojson{{"requestIdForPoll", id},
                                    {"authResultCheckUrl", op.base + "/api/mobile/v2/auth/check/" + id},
                                    {"authResultCheckInterval", Int(*account, "pollInterval", 0)},
                                    {"authResultCheckTimes", Int(*account, "pollTimes", 5)}});
    }
    const std::string otpSecret = Text(*account, "otpSecret");
    if (!otpSecret.empty()) {
        const std::string middle = Text(body, "otpMiddleToken");
        if (middle.empty()) {
            const std::string issued = "otp-" + RandomHex(8);
            auth["otpMiddleTokens"][issued] = accountKey;
            const bool bound =
                auth["boundOtp"].contains(accountKey) || Field(*account, "otpBound") == json(true);
            return JsonReply(
                200,
                ojson{{"otpMiddleToken", issued}, {"otpKey", bound ? "" : otpSecret}, {"accountName", name}});
        }
        if (!auth["otpMiddleTokens"].contains(middle) || auth["otpMiddleTokens"][middle] != accountKey) {
            return JsonReply(401, ErrorBody(1122, "The one-time password step has expired", data));
        }
        if (!TotpMatches(otpSecret, Text(body, "supportOtpCode"))) {
            return JsonReply(401, ErrorBody(1121, "Wrong one-time password", data));
        }
        auth["otpMiddleTokens"].erase(middle);
        auth["boundOtp"][accountKey] = true;
        return JsonReply(200, GrantAnswer(tenant, *account));
    }
    const json sms = Field(*account, "sms");
    if (sms.is_object()) {
        const std::string issued = "sms-" + RandomHex(8);
        auth["smsMiddleTokens"][issued] = json{{"customerId", customer}, {"name", name}};
        return JsonReply(200,
                         ojson{{"phoneNumber", Text(sms, "phone", "138****0000")}, {"middleToken", issued}});
    }
    return JsonReply(200, GrantAnswer(tenant, *account));
}

Reply PollCheck(const std::string& id, CTenant& tenant) {
    std::lock_guard<std::mutex> lock(tenant.lock);
    json& polls = AuthState(tenant)["polls"];
    if (!polls.contains(id))
        return JsonReply(404, ojson{{"code", 1999}, {"message", "Unknown request. Gone"}});
    json& poll = polls[id];
    const int pending = poll["pending"].get<int>();
    if (pending > 0) {
        poll["pending"] = pending - 1;
        return JsonReply(200, ojson{{"resultCode", 1}});
    }
    return JsonReply(200, ojson{{"resultCode", 0}});
}

std::string CatalogueText(const json& catalogue) {
    if (Field(catalogue, "text").is_string()) return catalogue["text"].get<std::string>();
    std::string text;
    const json entries = Field(catalogue, "entries");
    if (entries.is_array()) {
        for (const json& e : entries) {
            if (!text.empty()) text += ",\n";
            text += e.dump();
        }
    }
    return text;
}

}  // namespace

bool DecryptCredentialText(const std::string& text, std::string& value, std::string& reason) {
    std::string escaped;
    if (!DecryptCredential(text, escaped, reason)) return false;
    if (!DecodeJsonText(escaped, value)) {
        reason = "credential is no JSON text";
        return false;
    }
    return true;
}

bool AuthOperations(const OpRequest& op, CTenant& tenant, Reply& reply) {
    const json& data = tenant.Data();
    const std::string& path = op.path;
    const std::string& method = op.request.method;
    if (method == "POST" && path == "/api/mobile/v1/orchinfo") {
        reply = Discovery(op, data, "primary");
    } else if (method == "POST" && path == "/backup/api/mobile/v1/orchinfo") {
        reply = Discovery(op, data, "backup");
    } else if (method == "GET" && (path == "/static/version/privacyversion.json" ||
                                   path == "/backup/static/version/privacyversion.json")) {
        const std::string version = Text(data, "privacyVersion");
        reply = version.empty() ? JsonReply(404, json{{"error", "no privacy policy"}})
                                : JsonReply(200, ojson{{"halvane_privacy_version", version}});
    } else if (method == "POST" && path == "/s/mobile/error/resource/url") {
        const json catalogue = Field(data, "errorCatalogue");
        if (!catalogue.is_object()) return false;
        const std::string version = Text(catalogue, "version", "1");
        reply = JsonReply(200, ojson{{"errorResourceVersion", version},
                                     {"errorResourceDownloadUrl",
                                      op.base + "/static/error/catalogue-" + version + ".json"}});
    } else if (method == "GET" && StartsWith(path, "/static/error/catalogue-")) {
        const json catalogue = Field(data, "errorCatalogue");
        if (!catalogue.is_object()) return false;
        reply = TextReply(200, CatalogueText(catalogue));
        reply.headers = {{"Content-Type", "application/json"}};
    } else if (method == "POST" && path == "/s/mobile/pubkey/obtain") {
        reply = JsonReply(200, ojson{{"key", CServerKey::Get().PublicBase64()}});
    } else if (method == "POST" && path == "/api/mobile/auth/config") {
        const json config = Field(data, "authConfig");
        if (!config.is_object()) {
            reply = JsonReply(404, json{{"error", "not configured"}});
        } else {
            reply = JsonReply(200, config);
        }
    } else if (method == "POST" && path == "/api/mobile/v2/auth") {
        reply = SignIn(op, tenant);
    } else if (method == "POST" && StartsWith(path, "/api/mobile/v2/auth/check/")) {
        reply = PollCheck(path.substr(std::string("/api/mobile/v2/auth/check/").size()), tenant);
    } else {
        return false;
    }
    return true;
}

}  // namespace sim
