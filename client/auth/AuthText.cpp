// Text helpers of the sign-in code.
#include "auth/AuthText.h"

#include "core/JsonFields.h"
#include "core/Settings.h"

namespace velora {
namespace {

constexpr std::u16string_view kSecretKeys[] = {
    u"X-KX-AUTH-HEADER",   u"middleToken",        u"otpMiddleToken",    u"otpKey",
    u"otpRecoverCode",     u"recoverCode",        u"supportOtpCode",    u"verification",
    u"password",           u"encryptPassword",    u"oldPassword",       u"newPassword",
    u"oldEncryptPassword", u"newEncryptPassword", u"authorizationCode", u"codeVerifier"};

// Masks the string value after each "key":" of the key, up to its first unescaped quotation mark.
void MaskEvery(std::u16string& text, std::u16string_view key) {
    const std::u16string quoted = u"\"" + std::u16string(key) + u"\":\"";
    for (std::size_t p = text.find(quoted); p != std::u16string::npos; p = text.find(quoted, p + 1)) {
        const std::size_t start = p + quoted.size();
        std::size_t end = start;
        while (end < text.size() && text[end] != u'"') end += text[end] == u'\\' ? 2 : 1;
        if (end > text.size()) end = text.size();
        text.replace(start, end - start, u"***");
    }
}

}  // namespace

std::u16string MaskSecrets(std::u16string_view text) {
    std::u16string out(text);
    for (const std::u16string_view key : kSecretKeys) MaskEvery(out, key);
    return out;
}

std::u16string MaskUrlParameter(std::u16string_view url, std::u16string_view name) {
    std::u16string out(url);
    if (name.empty()) return out;
    const std::u16string marker = std::u16string(name) + u"=";
    for (std::size_t p = out.find(marker); p != std::u16string::npos; p = out.find(marker, p + 1)) {
        // Only a whole parameter name: at the start of the query or after "?" or "&".
        if (p != 0 && out[p - 1] != u'?' && out[p - 1] != u'&') continue;
        const std::size_t start = p + marker.size();
        std::size_t end = out.find(u'&', start);
        if (end == std::u16string::npos) end = out.size();
        out.replace(start, end - start, u"***");
    }
    return out;
}

std::u16string LogSnippet(std::u16string_view text) {
    if (text.size() <= kMaxLoggedAnswer) return std::u16string(text);
    return std::u16string(text.substr(0, kMaxLoggedAnswer)) + u"...";
}

void StoreSetting(std::u16string_view name, std::u16string_view value) {
    if (GetSetting(name, u"\x1F") != value) SetSetting(name, value);
}

void StoreSettingInt(std::u16string_view name, int32_t value) {
    // A default that differs from the value: a missing setting is always written.
    if (GetSettingInt(name, value == 0 ? 1 : 0) != value) SetSettingInt(name, value);
}

}  // namespace velora
