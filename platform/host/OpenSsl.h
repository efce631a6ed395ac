// What the host's OpenSSL-backed crypto files share: ownership of OpenSSL objects, and the failure report
// that names the Windows step doing the same work, so the client logs the same text on both systems.
#pragma once
#include <openssl/err.h>

#include <cstdint>
#include <memory>
#include <string>

namespace platform::host {

// An OpenSSL object released by its own free function: OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>.
template <typename T, void (*Free)(T*)>
struct OpenSslFree {
    void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree<T, Free>>;

// Records the failing step and OpenSSL's error code (clearing OpenSSL's queue); always false.
inline bool FailStep(const char* step, std::string& failedStep, uint32_t& status) {
    failedStep = step;
    status = static_cast<uint32_t>(ERR_get_error());
    ERR_clear_error();
    return false;
}

}  // namespace platform::host
