// Base64 (RFC 4648 alphabet, "=" padding) in both directions over caller buffers, with the buffer rules
// the callers rely on, and convenience forms over strings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// Buffer length that Base64Encode demands for `size` input bytes: the length of the text as if a line
// break (two characters) followed every 76 characters, so it is never smaller than the text itself.
// Zero when the length cannot be represented.
std::size_t Base64EncodeRequiredLength(std::size_t size);

// Encodes all `size` bytes without line breaks. `length` gives the buffer's capacity and receives the
// number of characters written (no terminating NUL). A capacity below Base64EncodeRequiredLength(size)
// fails and leaves the required length in `length`.
bool Base64Encode(const uint8_t* data, std::size_t size, char* out, std::size_t& length);

// Decodes groups of four alphabet characters; every other character (including "=" and white space) is
// skipped, a NUL at the start of a group ends the text, and a short last group gives its whole bytes.
// `size` gives the buffer's capacity and receives the number of bytes written; when the buffer is too
// small the call fails and `size` receives the number of bytes needed.
bool Base64Decode(const char* text, std::size_t length, uint8_t* out, std::size_t& size);

// The same over strings; false (with `text`/`bytes` empty) only when the input cannot be handled.
bool Base64Encode(const uint8_t* data, std::size_t size, std::string& text);
bool Base64Decode(std::string_view text, std::vector<uint8_t>& bytes);

}  // namespace velora
