// The cryptographic helpers over the platform's SHA-256 and RSA and the client's own Base64 and MD5.
#include "core/CryptoHelpers.h"

#include <new>
#include <string>
#include <vector>

#include "core/Base64.h"
#include "core/Log.h"
#include "core/Md5.h"
#include "platform/Crypto.h"
#include "platform/Text.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

void LogStepFailure(const std::string& step, uint32_t status) {
    if (step == platform::kCryptoAllocationStep) {
        LogMessageIdAtLevel(kMsgOutOfMemory, kLogDebug);
        return;
    }
    LogFormatMessageIdAtLevel(kLogDebug, kMsgCryptoStepFailed, platform::Utf8ToUtf16(step), status);
}

std::u16string AsciiToText(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string Sha256Base64UrlUnguarded(const uint8_t* data, std::size_t size) {
    uint8_t digest[32];
    std::string step;
    uint32_t status = 0;
    if (!platform::Sha256(data, size, digest, step, status)) {
        LogStepFailure(step, status);
        return {};
    }
    std::string text;
    if (!Base64Encode(digest, sizeof digest, text)) {
        LogStepFailure("Base64Encode", 0);
        return {};
    }
    std::u16string url;
    for (const char c : text) {
        if (c == '=') continue;
        url += c == '+' ? u'-' : c == '/' ? u'_' : static_cast<char16_t>(c);
    }
    return url;
}

std::u16string RsaEncryptBase64Unguarded(std::u16string_view plain, std::u16string_view publicKey) {
    const std::string plainBytes = platform::Utf16ToUtf8(plain);
    const std::string keyText = platform::Utf16ToUtf8(publicKey);
    std::vector<uint8_t> key;
    // A text without a single alphabet group decodes to nothing: no key to hand on.
    if (!Base64Decode(keyText, key) || key.empty()) {
        LogStepFailure("Base64Decode", 0);
        return {};
    }
    std::vector<uint8_t> cipher;
    std::string step;
    uint32_t status = 0;
    if (!platform::RsaPkcs1Encrypt(key.data(), key.size(),
                                   reinterpret_cast<const uint8_t*>(plainBytes.data()), plainBytes.size(),
                                   cipher, step, status)) {
        LogStepFailure(step, status);
        return {};
    }
    std::string text;
    if (!Base64Encode(cipher.data(), cipher.size(), text)) {
        LogStepFailure("Base64Encode", 0);
        return {};
    }
    return AsciiToText(text);
}

}  // namespace

std::u16string Sha256Base64Url(const uint8_t* data, std::size_t size) {
    if (data == nullptr || size > kMaxSha256Input) return {};
    try {
        return Sha256Base64UrlUnguarded(data, size);
    } catch (const std::bad_alloc&) {
        LogStepFailure(platform::kCryptoAllocationStep, 0);
        return {};
    }
}

std::u16string SaltedMd5Hex(std::string_view bytes) {
    // Two pieces give the digest of the salted text without copying the document.
    CMd5 md5;
    md5.Update(bytes.data(), bytes.size());
    md5.Update(kFilterDigestSalt.data(), kFilterDigestSalt.size());
    return md5.FinishHex();
}

std::u16string RsaEncryptBase64(std::u16string_view plain, std::u16string_view publicKey) {
    try {
        return RsaEncryptBase64Unguarded(plain, publicKey);
    } catch (const std::bad_alloc&) {
        LogStepFailure(platform::kCryptoAllocationStep, 0);
        return {};
    }
}

}  // namespace velora
