// RSA public-key encryption on the host through OpenSSL. The key goes through the same two decoding
// stages as on Windows (the SubjectPublicKeyInfo, then the RSA key inside its bit string), and each
// failure is reported under the name of the corresponding Windows step.
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>
#include <new>

#include "platform/Crypto.h"
#include "OpenSsl.h"

namespace platform {
namespace {

using host::FailStep;
using PublicKeyInfo = host::OpenSslPtr<X509_PUBKEY, X509_PUBKEY_free>;
using Key = host::OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using KeyContext = host::OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

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
    PublicKeyInfo info(d2i_X509_PUBKEY(nullptr, &cursor, static_cast<long>(keySize)));
    if (!info) return FailStep("CryptDecodeObject X509_PUBLIC_KEY_INFO size", failedStep, status);

    const unsigned char* bits = nullptr;
    int bitsLength = 0;
    if (X509_PUBKEY_get0_param(nullptr, &bits, &bitsLength, nullptr, info.get()) != 1 || bits == nullptr) {
        return FailStep("CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size", failedStep, status);
    }
    Key key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &bits, bitsLength));
    if (!key) return FailStep("CryptDecodeObject CNG_RSA_PUBLIC_KEY_BLOB size", failedStep, status);

    KeyContext ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    if (!ctx) return FailStep("BCryptOpenAlgorithmProvider", failedStep, status);
    if (EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) {
        return FailStep("BCryptImportKeyPair", failedStep, status);
    }
    static const uint8_t kNothing = 0;
    const uint8_t* input = size != 0 ? data : &kNothing;
    std::size_t length = 0;
    if (EVP_PKEY_encrypt(ctx.get(), nullptr, &length, input, size) != 1 || length == 0) {
        return FailStep("BCryptEncrypt", failedStep, status);
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
        return FailStep("BCryptEncrypt2", failedStep, status);
    }
    cipher.resize(length);
    return true;
}

}  // namespace platform
