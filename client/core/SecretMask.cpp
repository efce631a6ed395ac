// The masker of secrets for the client log and the diagnosis bundle, and its one list of secret keys.
#include "core/SecretMask.h"

#include <array>

#include "core/Settings.h"
#include "platform/FileStream.h"
#include "platform/Utf16Le.h"

namespace velora {
namespace {

// Every key that carries a secret in a request or an answer: the sign-in token (an answer's
// "X-KX-AUTH-HEADER", the header of every authenticated request), the SMS middle token (an answer field and
// the send request's header line), the one-time-password step's token, secret, codes and recovery code, the
// SMS code, every password field of the sign-in and the password change, the tunnel's password and
// pre-shared key of the connect and gateway-check answers, the external sign-in's authorization code and
// PKCE verifier, and the names an identity provider gives the same things.
constexpr std::array kSecretKeys = {
    SecretKey{u"X-KX-AUTH-HEADER", true},
    SecretKey{u"middleToken", true},
    SecretKey{u"token"},
    SecretKey{u"authToken"},
    SecretKey{u"access_token"},
    SecretKey{u"refresh_token"},
    SecretKey{u"id_token"},
    SecretKey{u"otpMiddleToken"},
    SecretKey{u"otpKey"},
    SecretKey{u"otpSecret"},
    SecretKey{u"secret"},
    SecretKey{u"otpRecoverCode"},
    SecretKey{u"recoverCode"},
    SecretKey{u"recoveryCode"},
    SecretKey{u"supportOtpCode"},
    SecretKey{u"otpCode"},
    SecretKey{u"verification"},
    SecretKey{u"smsCode"},
    SecretKey{u"code"},
    SecretKey{u"password"},
    SecretKey{u"encryptPassword"},
    SecretKey{u"oldPassword"},
    SecretKey{u"newPassword"},
    SecretKey{u"oldEncryptPassword"},
    SecretKey{u"newEncryptPassword"},
    SecretKey{u"ipsecPassword"},
    SecretKey{u"psk"},
    SecretKey{u"preSharedKey"},
    SecretKey{u"authorizationCode"},
    SecretKey{u"codeVerifier"},
    SecretKey{u"code_verifier"},
    SecretKey{u"client_secret"},
};

constexpr std::size_t kChunkBytes = 64 * 1024;
// A line longer than this is written in pieces (each still masked on its own).
constexpr std::size_t kMaxLineUnits = 1 << 20;

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string Lowered(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = Lower(c);
    return out;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool IsNameUnit(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
           c == u'-';
}

// The text being masked, with a lower-case copy kept in step, so that names are found without regard to
// case by the library's search.
class CMasking {
public:
    explicit CMasking(std::u16string_view text) : m_text(text), m_lower(Lowered(text)) {}

    const std::u16string& Text() const { return m_text; }
    std::u16string Take() { return std::move(m_text); }
    // The next place at or after `from` where `name` stands (any case).
    std::size_t Find(std::u16string_view name, std::size_t from) const {
        return m_lower.find(Lowered(name), from);
    }
    // Replaces [start, end) by the mask; returns the position after it.
    std::size_t Mask(std::size_t start, std::size_t end) {
        m_text.replace(start, end - start, kSecretMask);
        m_lower.replace(start, end - start, kSecretMask);
        return start + kSecretMask.size();
    }

private:
    std::u16string m_text;
    std::u16string m_lower;
};

// Masks the string value after every quoted occurrence of `key` ("key" : "value"). A value without its
// closing quote (a text cut short) is masked to the end, so no part of the secret is kept.
void MaskJsonValues(CMasking& m, std::u16string_view key) {
    const std::u16string quoted = u"\"" + std::u16string(key) + u"\"";
    const std::u16string& text = m.Text();
    std::size_t from = 0;
    while ((from = m.Find(quoted, from)) != std::u16string::npos) {
        std::size_t i = from + quoted.size();
        from = i;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size() || text[i] != u':') continue;
        ++i;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size() || text[i] != u'"') continue;
        const std::size_t start = i + 1;
        std::size_t end = start;
        while (end < text.size() && text[end] != u'"') end += text[end] == u'\\' ? 2 : 1;
        if (end > text.size()) end = text.size();
        if (end == start) continue;  // an empty value reveals nothing
        from = m.Mask(start, end);
    }
}

// Masks the value of `name=` where it stands as a query parameter (after "?" or "&"), up to the next "&",
// blank, quote or line end.
void MaskQueryValues(CMasking& m, std::u16string_view name) {
    const std::u16string marker = std::u16string(name) + u"=";
    const std::u16string& text = m.Text();
    std::size_t from = 0;
    while ((from = m.Find(marker, from)) != std::u16string::npos) {
        const std::size_t at = from;
        from += marker.size();
        if (at == 0 || (text[at - 1] != u'?' && text[at - 1] != u'&')) continue;
        std::size_t end = from;
        while (end < text.size() && text[end] != u'&' && text[end] != u'"' && text[end] != u'\r' &&
               text[end] != u'\n' && !IsBlank(text[end]))
            ++end;
        if (end == from) continue;
        from = m.Mask(from, end);
    }
}

// Masks the value of a header line "name:value" (blanks allowed after the colon) up to the line's end, a
// blank, a comma or a quote; the name must stand on its own, not end a longer word.
void MaskHeaderValues(CMasking& m, std::u16string_view name) {
    const std::u16string marker = std::u16string(name) + u":";
    const std::u16string& text = m.Text();
    std::size_t from = 0;
    while ((from = m.Find(marker, from)) != std::u16string::npos) {
        const std::size_t at = from;
        from += marker.size();
        if (at > 0 && IsNameUnit(text[at - 1])) continue;
        std::size_t start = from;
        while (start < text.size() && IsBlank(text[start])) ++start;
        std::size_t end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n' && text[end] != u'"' &&
               text[end] != u',' && !IsBlank(text[end]))
            ++end;
        if (end == start) continue;
        from = m.Mask(start, end);
    }
}

void MaskBareValue(std::u16string& text, std::u16string_view secret) {
    std::size_t from = 0;
    while ((from = text.find(secret, from)) != std::u16string::npos) {
        text.replace(from, secret.size(), kSecretMask);
        from += kSecretMask.size();
    }
}

}  // namespace

std::span<const SecretKey> SecretKeys() {
    return kSecretKeys;
}

std::u16string MaskSecrets(std::u16string_view text) {
    CMasking m(text);
    for (const SecretKey& key : kSecretKeys) {
        MaskJsonValues(m, key.name);
        MaskQueryValues(m, key.name);
        if (key.headerLine) MaskHeaderValues(m, key.name);
    }
    return m.Take();
}

std::u16string MaskSecrets(std::u16string_view text, const std::vector<std::u16string>& bareSecrets) {
    std::u16string out(text);
    // The bare values first: a key's mask would otherwise hide where a longer stored value began.
    for (const std::u16string& secret : bareSecrets) {
        if (secret.size() >= kMinBareSecretLength) MaskBareValue(out, secret);
    }
    return MaskSecrets(out);
}

std::u16string MaskUrlParameter(std::u16string_view url, std::u16string_view name) {
    CMasking m(url);
    if (!name.empty()) MaskQueryValues(m, name);
    return m.Take();
}

std::vector<std::u16string> StoredSecrets() {
    std::vector<std::u16string> secrets;
    for (std::u16string_view name : {u"AuthToken", u"Password"}) {
        std::u16string value = GetSetting(name, u"");
        if (!value.empty()) secrets.push_back(std::move(value));
    }
    return secrets;
}

bool CopyMaskedText(std::u16string_view from, std::u16string_view to,
                    const std::vector<std::u16string>& bareSecrets, uint32_t& error) {
    error = 0;
    platform::CFileStream in;
    if (!in.Open(from, platform::FileOpenMode::kRead, platform::FileShare::kReadWrite)) {
        error = in.Error();
        return false;
    }
    platform::CFileStream out;
    if (!out.Open(to, platform::FileOpenMode::kCreateAlways, platform::FileShare::kNone)) {
        error = out.Error();
        return false;
    }
    std::string bytes(kChunkBytes, '\0');
    std::string pendingByte;  // an odd byte left over from the last read
    std::u16string line;
    std::string encoded;
    auto flush = [&](std::u16string_view text) {
        encoded.clear();
        platform::AppendUtf16Le(encoded, MaskSecrets(text, bareSecrets));
        if (out.Write(encoded.data(), encoded.size())) return true;
        error = out.Error();
        return false;
    };
    for (;;) {
        std::size_t got = 0;
        if (!in.Read(bytes.data(), bytes.size(), got)) {
            error = in.Error();
            return false;
        }
        if (got == 0) break;
        std::string_view piece(bytes.data(), got);
        std::string joined;
        if (!pendingByte.empty()) {
            joined = pendingByte + std::string(piece);
            piece = joined;
            pendingByte.clear();
        }
        if (piece.size() % 2 != 0) {
            pendingByte.assign(1, piece.back());
            piece.remove_suffix(1);
        }
        const std::u16string units = platform::DecodeUtf16Le(piece);
        std::size_t start = 0;
        for (std::size_t i = 0; i < units.size(); ++i) {
            if (units[i] != u'\n') continue;
            line.append(units, start, i + 1 - start);
            if (!flush(line)) return false;
            line.clear();
            start = i + 1;
        }
        line.append(units, start, std::u16string::npos);
        if (line.size() > kMaxLineUnits) {
            if (!flush(line)) return false;
            line.clear();
        }
    }
    if (!line.empty() && !flush(line)) return false;
    if (!pendingByte.empty() && !out.Write(pendingByte.data(), 1)) {
        error = out.Error();
        return false;
    }
    if (!out.Close()) {
        error = out.Error();
        return false;
    }
    return true;
}

}  // namespace velora
