// Platform cryptography (CNG on Windows, OpenSSL on the host).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// AES-128 in electronic codebook mode without padding: `size` must be a multiple of 16.
// On failure the result is false and `failedStep` names the platform call that failed.
bool Aes128EcbEncrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep);
bool Aes128EcbDecrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep);

// Bytes from the platform's cryptographic random source.
bool RandomBytes(uint8_t* out, std::size_t size);

// The step reported when a working buffer could not be allocated (callers log it as an allocation
// failure rather than as a failed cryptographic step).
inline constexpr const char kCryptoAllocationStep[] = "allocation";

// SHA-256 of `size` bytes (`data` may be null when `size` is 0). On failure the result is false,
// `failedStep` names the platform step that failed and `status` holds its status or error code.
bool Sha256(const uint8_t* data, std::size_t size, uint8_t digest[32], std::string& failedStep,
            uint32_t& status);

// RSAES-PKCS1-v1_5 encryption of `size` bytes with the RSA key of a DER-encoded X.509
// SubjectPublicKeyInfo. The key is used as given, without validation: the service hands it out.
// On failure `cipher` is empty and `failedStep`/`status` say which step failed.
bool RsaPkcs1Encrypt(const uint8_t* keyInfo, std::size_t keySize, const uint8_t* data, std::size_t size,
                     std::vector<uint8_t>& cipher, std::string& failedStep, uint32_t& status);

}  // namespace platform
