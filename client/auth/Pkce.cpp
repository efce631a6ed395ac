// PKCE values from the platform's random source, kept process-wide behind a lock (the login window and
// the exported API may both start external sign-ins).
#include "auth/Pkce.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/CryptoHelpers.h"
#include "platform/Crypto.h"

namespace velora {
namespace {

std::mutex g_lock;
std::u16string g_state;
std::u16string g_verifier;

bool IsS256(std::u16string_view method) {
    if (method.size() != 4) return false;
    return (method[0] == u'S' || method[0] == u's') && method.substr(1) == u"256";
}

}  // namespace

std::u16string RandomAlphanumeric(std::size_t length) {
    std::u16string text;
    text.reserve(length);
    // Bytes of 252 and above are thrown away so that every character of the 36 is equally likely.
    constexpr uint8_t kLimit = 252;
    std::array<uint8_t, 64> bytes{};
    while (text.size() < length) {
        if (!platform::RandomBytes(bytes.data(), bytes.size())) return {};
        for (uint8_t b : bytes) {
            if (b >= kLimit) continue;
            text.push_back(kPkceAlphabet[b % kPkceAlphabet.size()]);
            if (text.size() == length) break;
        }
    }
    return text;
}

std::u16string pkceStateValue() {
    std::lock_guard l(g_lock);
    if (g_state.empty()) g_state = RandomAlphanumeric(kPkceStateLength);
    return g_state;
}

std::u16string pkceCodeVerifier(int length) {
    if (length < 1 || length > kMaxPkceCodeLength) return {};
    std::lock_guard l(g_lock);
    if (g_verifier.size() != static_cast<std::size_t>(length)) {
        g_verifier = RandomAlphanumeric(static_cast<std::size_t>(length));
    }
    return g_verifier;
}

std::u16string pkceCodeChallenge(std::u16string_view verifier, std::u16string_view method) {
    if (!IsS256(method)) return std::u16string(verifier);
    std::vector<uint8_t> ascii;
    ascii.reserve(verifier.size());
    for (char16_t c : verifier) {
        if (c > 0x7F) return {};  // the verifier is ours, always ASCII; anything else is not a verifier
        ascii.push_back(static_cast<uint8_t>(c));
    }
    return Sha256Base64Url(ascii.data(), ascii.size());
}

}  // namespace velora
