// The AES object of the settings store: the key lives in the program as four separate 32-bit pieces
// and is put together only when the object is created, so it never appears as one run of bytes.
#include "core/Aes128.h"

#include <cstring>
#include <string>

#include "core/Log.h"
#include "platform/Crypto.h"
#include "platform/Text.h"

namespace velora {
namespace {

// Stored values written under these pieces must stay readable by every later version: never change.
constexpr uint32_t kKeyPiece0 = 0x4B7E1D93;
constexpr uint32_t kKeyPiece1 = 0xC2A85F06;
constexpr uint32_t kKeyPiece2 = 0x3E91D47B;
constexpr uint32_t kKeyPiece3 = 0x86F02CA5;

void PutPiece(uint8_t* out, uint32_t piece) {
    out[0] = static_cast<uint8_t>(piece >> 24);
    out[1] = static_cast<uint8_t>(piece >> 16);
    out[2] = static_cast<uint8_t>(piece >> 8);
    out[3] = static_cast<uint8_t>(piece);
}

const CAes128& CreateProgramObject() {
    uint8_t key[16];
    PutPiece(key, kKeyPiece0);
    PutPiece(key + 4, kKeyPiece1);
    PutPiece(key + 8, kKeyPiece2);
    PutPiece(key + 12, kKeyPiece3);
    static const CAes128 aes(key);
    std::memset(key, 0, sizeof key);
    return aes;
}

void LogFailure(const char16_t* operation, const std::string& step) {
    LogFormat(u"AES %s failed at %s", operation, platform::Utf8ToUtf16(step));
}

}  // namespace

CAes128::CAes128(const uint8_t key[16]) {
    std::memcpy(key_, key, sizeof key_);
}

const CAes128& CAes128::Program() {
    static const CAes128& aes = CreateProgramObject();
    return aes;
}

bool CAes128::Encrypt(const uint8_t* data, std::size_t size, uint8_t* out) const {
    std::string step;
    if (platform::Aes128EcbEncrypt(key_, data, size, out, step)) return true;
    LogFailure(u"encryption", step);
    return false;
}

bool CAes128::Decrypt(const uint8_t* data, std::size_t size, uint8_t* out) const {
    std::string step;
    if (platform::Aes128EcbDecrypt(key_, data, size, out, step)) return true;
    LogFailure(u"decryption", step);
    return false;
}

}  // namespace velora
