// The client's cryptographic helpers: the PKCE code challenge, the salted digest that marks the cached
// traffic filter, and RSA encryption of credentials with the key the service hands out. They never
// throw: a failure is logged with the step that failed and gives an empty text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

// Longest input Sha256Base64Url accepts (a PKCE verifier is at most 128 characters).
inline constexpr std::size_t kMaxSha256Input = 128;

// Appended to the filter document before hashing; cached filters written by earlier versions carry a
// digest made with it, so it must never change.
inline constexpr std::string_view kFilterDigestSalt = "Rk71M38QB5@zx";

// Base64url (no padding) of the SHA-256 of `size` bytes: 43 characters. Empty when `data` is null,
// `size` exceeds kMaxSha256Input, or a step fails.
std::u16string Sha256Base64Url(const uint8_t* data, std::size_t size);

// MD5 of the bytes followed by kFilterDigestSalt, as 32 lower-case hexadecimal digits.
std::u16string SaltedMd5Hex(std::string_view bytes);

// Base64 of the RSAES-PKCS1-v1_5 encryption of the UTF-8 form of `plain` with the key given as Base64
// of a DER SubjectPublicKeyInfo (344 characters for a 2048-bit key). Empty on any failure.
std::u16string RsaEncryptBase64(std::u16string_view plain, std::u16string_view publicKey);

}  // namespace velora
