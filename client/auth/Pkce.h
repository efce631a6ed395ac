// PKCE code verifier and the state value of the external sign-in. Both are drawn from the platform's
// cryptographic random source: values that can be guessed from the time a sign-in started would let
// another program on the machine forge the redirect or redeem an intercepted code.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace velora {

inline constexpr std::size_t kPkceStateLength = 10;
inline constexpr int kMaxPkceCodeLength = 128;
inline constexpr std::u16string_view kPkceAlphabet = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// `length` characters from 0-9 and A-Z, each equally likely; empty when the random source fails.
std::u16string RandomAlphanumeric(std::size_t length);

// The state value: made on first use and kept for the life of the process. Empty while the random
// source fails (a later call tries again).
std::u16string pkceStateValue();

// A verifier of `length` characters (1 to 128): kept and handed out again as long as the same length
// is asked for. Empty for a length outside 1..128 or when the random source fails.
std::u16string pkceCodeVerifier(int length);

// The code challenge: Base64url of the SHA-256 of the verifier's ASCII bytes for "S256" (any letter
// case), the verifier itself for any other method. Empty when the digest cannot be made.
std::u16string pkceCodeChallenge(std::u16string_view verifier, std::u16string_view method);

}  // namespace velora
