// Platform cryptography (CNG on Windows, OpenSSL on the host).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// AES-128 in electronic codebook mode without padding: `size` must be a multiple of 16.
// On failure the result is false and `failedStep` names the platform call that failed.
bool Aes128EcbEncrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep);
bool Aes128EcbDecrypt(const uint8_t key[16], const uint8_t* data, std::size_t size, uint8_t* out,
                      std::string& failedStep);

// Bytes from the platform's cryptographic random source.
bool RandomBytes(uint8_t* out, std::size_t size);

}  // namespace platform
