// Platform cryptography on the host: OpenSSL's EVP interface and random source.
#include "platform/Crypto.h"

#include "OpenSsl.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace platform {
namespace {

using CipherContext = host::OpenSslPtr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;

// One pass of AES-128-ECB over whole blocks; EVP takes int lengths, so large inputs go in slices.
bool RunAes128Ecb(bool encrypt, const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                  std::string& failedStep) {
    if (size % 16 != 0 || (size != 0 && (data == nullptr || out == nullptr)) || key == nullptr) {
        failedStep = "argument";
        return false;
    }
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx) {
        failedStep = "EVP_CIPHER_CTX_new";
        return false;
    }
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key, nullptr, encrypt ? 1 : 0) != 1) {
        failedStep = "EVP_CipherInit_ex";
        return false;
    }
    if (EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        failedStep = "EVP_CIPHER_CTX_set_padding";
        return false;
    }
    constexpr std::size_t kSlice = (INT_MAX / 16) * 16;
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n = std::min(kSlice, size - done);
        int written = 0;
        if (EVP_CipherUpdate(ctx.get(), out + done, &written, data + done, static_cast<int>(n)) != 1 ||
            static_cast<std::size_t>(written) != n) {
            failedStep = "EVP_CipherUpdate";
            return false;
        }
        done += n;
    }
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), out + done, &tail) != 1 || tail != 0) {
        failedStep = "EVP_CipherFinal_ex";
        return false;
    }
    return true;
}

}  // namespace

bool Aes128EcbEncrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep) {
    return RunAes128Ecb(true, key, data, size, out, failedStep);
}

bool Aes128EcbDecrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep) {
    return RunAes128Ecb(false, key, data, size, out, failedStep);
}

bool RandomBytes(uint8_t* out, std::size_t size) {
    while (size > 0) {
        const int n = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        if (RAND_bytes(out, n) != 1) return false;
        out += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace platform
