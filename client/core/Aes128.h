// AES-128 in electronic codebook mode over whole 16-byte blocks, with the program's fixed key for the
// encrypted settings (or a caller's key).
#pragma once
#include <cstddef>
#include <cstdint>

namespace velora {

class CAes128 {
public:
    explicit CAes128(const uint8_t key[16]);

    // The program's single object, created on first use (safe from any thread) and kept until exit.
    static const CAes128& Program();

    // `size` must be a multiple of 16. A failure is logged with the failing
    // platform step and leaves `out` unspecified.
    bool Encrypt(const uint8_t* data, std::size_t size, uint8_t* out) const;
    bool Decrypt(const uint8_t* data, std::size_t size, uint8_t* out) const;

private:
    uint8_t key_[16];
};

}  // namespace velora
