// SHA-256 of a byte string, so that a secret can be named in the service log by a short digest prefix
// without being written (the service logic has no crypto library of its own to lean on).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

std::array<uint8_t, 32> Sha256(std::string_view bytes);

// What the service log says instead of a secret: its length in UTF-16 units and the first 8 hex digits
// of the SHA-256 of its UTF-16LE bytes ("<secret: 12 characters, sha256 1a2b3c4d>").
std::u16string SecretForLog(std::u16string_view secret);

}  // namespace corvane
