// SHA-256 on the host through OpenSSL's EVP interface. The failing step is reported under the name of
// the Windows call that does the same work, so the client logs the same text on both systems.
#include <openssl/evp.h>

#include <memory>

#include "platform/Crypto.h"
#include "OpenSsl.h"

namespace platform {
namespace {

using host::FailStep;
using Digest = host::OpenSslPtr<EVP_MD, EVP_MD_free>;
using DigestContext = host::OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;

}  // namespace

bool Sha256(const uint8_t* data, std::size_t size, uint8_t digest[32], std::string& failedStep,
            uint32_t& status) {
    status = 0;
    if ((data == nullptr && size != 0) || digest == nullptr) {
        failedStep = "argument";
        return false;
    }
    Digest md(EVP_MD_fetch(nullptr, "SHA256", nullptr));
    if (!md) return FailStep("BCryptOpenAlgorithmProvider BCRYPT_SHA256_ALGORITHM", failedStep, status);
    if (EVP_MD_get_size(md.get()) != 32)
        return FailStep("BCryptGetProperty BCRYPT_HASH_LENGTH", failedStep, status);
    DigestContext ctx(EVP_MD_CTX_new());
    if (!ctx) return FailStep(kCryptoAllocationStep, failedStep, status);
    if (EVP_DigestInit_ex(ctx.get(), md.get(), nullptr) != 1)
        return FailStep("BCryptCreateHash", failedStep, status);
    if (size != 0 && EVP_DigestUpdate(ctx.get(), data, size) != 1) {
        return FailStep("BCryptHashData", failedStep, status);
    }
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1 || length != 32) {
        return FailStep("BCryptFinishHash", failedStep, status);
    }
    return true;
}

}  // namespace platform
