// RSA public-key encryption on the host through OpenSSL. The key goes through the same two decoding
// stages as on Windows (the SubjectPublicKeyInfo, then the RSA key inside its bit string), and each
// failure is reported under the name of the corresponding Windows step.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>
#include <new>

#include "platform/Crypto.h"

namespace platform {
namespace {

struct PubkeyFree {
    void operator()(X509_PUBKEY* key) const { X509_PUBKEY_free(key); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};

bool Fail(const char* step, std::string& failedStep, uint32_t& status) {
    failedStep = step;
    status = static_cast<uint32_t>(ERR_get_error());
    ERR_clear_error();
    return false;
}

}  // namespace

bool RsaPkcs1Encrypt(const uint8_t* keyInfo, std::size_t keySize, const uint8_t* data, std::size_t size,
                     std::vector<uint8_t>& cipher, std::string& failedStep, uint32_t& status) {
    cipher.clear();
    status = 0;
    if (keyInfo == nullptr || (data == nullptr && size != 0) || keySize > LONG_MAX) {
        failedStep = "argument";
        return false;
    }
    // Windows asks for the decoded size first; a structure that does not decode fails there.
    const unsigned char* cursor = keyInfo;
    std::unique_ptr<X509_PUBKEY, PubkeyFree> info(
        d2i_X509_PUBKEY(nullptr, &cursor, static_cast<long>(keySize)));
    if (!info) return Fail("CryptDecodeObject X509_PUBLIC_KEY_INFO size", failedStep, status);

    const unsigned char* bits = nullptr;
    int bitsLength = 0;
    if (X509_PUBKEY_get0_param(nullptr, &bits, &bitsLength, nullptr, info.get()) != 1 || bits == nullptr) {
        return Fail("CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size", failedStep, status);
    }
    std::unique_ptr<EVP_PKEY, KeyFree> key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &bits, bitsLength));
    if (!key) return Fail("CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size", failedStep, status);

    std::unique_ptr<EVP_PKEY_CTX, KeyContextFree> ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    if (!ctx) return Fail("BCryptOpenAlgorithmProvider", failedStep, status);
    if (EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) {
        return Fail("BCryptImportKeyPair", failedStep, status);
    }
    static const uint8_t kNothing = 0;
    const uint8_t* input = size != 0 ? data : &kNothing;
    std::size_t length = 0;
    if (EVP_PKEY_encrypt(ctx.get(), nullptr, &length, input, size) != 1 || length == 0) {
        return Fail("BCryptEncrypt", failedStep, status);
    }
    try {
        cipher.resize(length);
    } catch (const std::bad_alloc&) {
        cipher.clear();
        failedStep = kCryptoAllocationStep;
        return false;
    }
    if (EVP_PKEY_encrypt(ctx.get(), cipher.data(), &length, input, size) != 1) {
        cipher.clear();
        return Fail("BCryptEncrypt2", failedStep, status);
    }
    cipher.resize(length);
    return true;
}

}  // namespace platform
