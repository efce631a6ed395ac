// Masking of secrets in the texts that go into the diagnosis bundle.
#include "diagnosis/SecretMask.h"

#include <array>

#include "core/Settings.h"
#include "platform/FileStream.h"
#include "platform/Utf16Le.h"

namespace velora {
namespace {

// Keys whose string values are secrets, wherever they appear as "key":"value" (JSON, logged answers).
constexpr std::array<std::u16string_view, 21> kSecretKeys = {
    u"X-KX-AUTH-HEADER", u"token",        u"authToken",          u"middleToken",
    u"otpMiddleToken",   u"otpKey",       u"otpRecoverCode",     u"recoverCode",
    u"supportOtpCode",   u"verification", u"password",           u"encryptPassword",
    u"oldPassword",      u"newPassword",  u"oldEncryptPassword", u"newEncryptPassword",
    u"ipsecPassword",    u"psk",          u"preSharedKey",       u"authorizationCode",
    u"codeVerifier",
};
// Header lines whose value is a secret up to the end of the line.
constexpr std::array<std::u16string_view, 1> kSecretHeaders = {u"X-KX-AUTH-HEADER:"};

constexpr std::size_t kChunkBytes = 64 * 1024;
// A line longer than this is written in pieces (each still masked on its own).
constexpr std::size_t kMaxLineUnits = 1 << 20;

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// Masks the string value after every quoted occurrence of `key`.
void MaskKeyValues(std::u16string& text, std::u16string_view key) {
    const std::u16string quoted = u"\"" + std::u16string(key) + u"\"";
    std::size_t from = 0;
    while ((from = text.find(quoted, from)) != std::u16string::npos) {
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
        text.replace(start, end - start, kSecretMask);
        from = start + kSecretMask.size();
    }
}

void MaskHeaderValues(std::u16string& text, std::u16string_view header) {
    std::size_t from = 0;
    while ((from = text.find(header, from)) != std::u16string::npos) {
        std::size_t start = from + header.size();
        while (start < text.size() && IsBlank(text[start])) ++start;
        std::size_t end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n' && text[end] != u'"' &&
               !IsBlank(text[end]))
            ++end;
        if (end > start) text.replace(start, end - start, kSecretMask);
        from = start + (end > start ? kSecretMask.size() : 0);
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

std::vector<std::u16string> StoredSecrets() {
    std::vector<std::u16string> secrets;
    for (std::u16string_view name : {u"AuthToken", u"Password"}) {
        std::u16string value = GetSetting(name, u"");
        if (!value.empty()) secrets.push_back(std::move(value));
    }
    return secrets;
}

std::u16string MaskBundleSecrets(std::u16string_view text, const std::vector<std::u16string>& secrets) {
    std::u16string out(text);
    for (const std::u16string& secret : secrets) {
        if (secret.size() >= kMinBareSecretLength) MaskBareValue(out, secret);
    }
    for (std::u16string_view key : kSecretKeys) MaskKeyValues(out, key);
    for (std::u16string_view header : kSecretHeaders) MaskHeaderValues(out, header);
    return out;
}

bool CopyMaskedText(std::u16string_view from, std::u16string_view to,
                    const std::vector<std::u16string>& secrets, uint32_t& error) {
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
        platform::AppendUtf16Le(encoded, MaskBundleSecrets(text, secrets));
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
