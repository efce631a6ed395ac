// SHA-256 on the host through OpenSSL's EVP interface. The failing step is reported under the name of
// the Windows call that does the same work, so the client logs the same text on both systems.
#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

#include "platform/Crypto.h"

namespace platform {
namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct DigestFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};

bool Fail(const char* step, std::string& failedStep, uint32_t& status) {
    failedStep = step;
    status = static_cast<uint32_t>(ERR_get_error());
    ERR_clear_error();
    return false;
}

}  // namespace

bool Sha256(const uint8_t* data, std::size_t size, uint8_t digest[32], std::string& failedStep,
            uint32_t& status) {
    status = 0;
    if ((data == nullptr && size != 0) || digest == nullptr) {
        failedStep = "argument";
        return false;
    }
    std::unique_ptr<EVP_MD, DigestFree> md(EVP_MD_fetch(nullptr, "SHA256", nullptr));
    if (!md) return Fail("BCryptOpenAlgorithmProvider BCRYPT_SHA256_ALGORITHM", failedStep, status);
    if (EVP_MD_get_size(md.get()) != 32)
        return Fail("BCryptGetProperty BCRYPT_HASH_LENGTH", failedStep, status);
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> ctx(EVP_MD_CTX_new());
    if (!ctx) return Fail(kCryptoAllocationStep, failedStep, status);
    if (EVP_DigestInit_ex(ctx.get(), md.get(), nullptr) != 1)
        return Fail("BCryptCreateHash", failedStep, status);
    if (size != 0 && EVP_DigestUpdate(ctx.get(), data, size) != 1) {
        return Fail("BCryptHashData", failedStep, status);
    }
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 || length != 32) {
        return Fail("BCryptFinishHash", failedStep, status);
    }
    return true;
}

}  // namespace platform
