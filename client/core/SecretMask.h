// The one masker of secrets: every line of the client log and every text of the diagnosis bundle goes
// through it, so a token, password, pre-shared key, one-time-password secret or code never reaches a file.
// One list names every key that carries a secret in a request or an answer of the system.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

// What a secret is replaced by.
inline constexpr std::u16string_view kSecretMask = u"***";

struct SecretKey {
    std::u16string_view name;
    // Also sent as a header line ("name:value"), whose value runs to the end of the line.
    bool headerLine = false;
};

// Every key whose value is a secret, as requests and answers name it (matched without regard to case).
std::span<const SecretKey> SecretKeys();

// Secrets shorter than this are not searched for as bare values (MaskSecrets with stored secrets): masking
// every "1" or "ab" would garble the text without protecting anything.
constexpr std::size_t kMinBareSecretLength = 4;

// The text with the value of every secret key masked wherever it stands as a JSON string value
// ("key" : "value"; a value without its closing quote is masked to the end of the text), as a query
// parameter (?key=value or &key=value) or, for the header keys, as a header line (key:value).
[[nodiscard]] std::u16string MaskSecrets(std::u16string_view text);
// The same, and every occurrence of one of `bareSecrets` (the stored secrets' current values) masked too.
[[nodiscard]] std::u16string MaskSecrets(std::u16string_view text,
                                         const std::vector<std::u16string>& bareSecrets);

// A URL (or redirect) with the value of the query parameter `name` masked: for a parameter whose name the
// service configures (the external sign-in's code), which no fixed list can hold.
[[nodiscard]] std::u16string MaskUrlParameter(std::u16string_view url, std::u16string_view name);

// The current values of the stored secrets (the account's token and password), for MaskSecrets.
std::vector<std::u16string> StoredSecrets();

// Copies a UTF-16LE text file (the client log) line by line with every secret masked (keys and
// `bareSecrets`), streaming it in pieces. False (with the system error) when either file cannot be opened
// or written.
bool CopyMaskedText(std::u16string_view from, std::u16string_view to,
                    const std::vector<std::u16string>& bareSecrets, uint32_t& error);

}  // namespace velora
