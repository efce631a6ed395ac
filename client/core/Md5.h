// MD5 (RFC 1321) computed by the client itself, as a context that takes its input in pieces of any size:
// the upgrade hashes the installer in the chunks in which it reads the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace velora {

class CMd5 {
public:
    CMd5() { Start(); }

    // Resets the context to hash a new message.
    void Start();
    void Update(const void* data, std::size_t size);
    // Pads the message and gives its digest; the context must be started again before reuse.
    void Finish(uint8_t digest[16]);
    // The digest as 32 lower-case hexadecimal digits, high nibble first.
    std::u16string FinishHex();

private:
    void Transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t bitCount_;
    uint8_t buffer_[64];
};

// The digest of one piece of bytes as 32 lower-case hexadecimal digits.
std::u16string Md5Hex(const void* data, std::size_t size);

}  // namespace velora
