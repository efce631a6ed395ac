// Keeps secrets out of the diagnosis bundle: the token, passwords and the pre-shared key are masked in
// every text the client writes into it, both where they stand as the value of a known key (JSON fields,
// the authentication header) and wherever the current values of the stored secrets appear.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velora {

inline constexpr std::u16string_view kSecretMask = u"******";

// Secrets shorter than this are not searched for as bare values: masking every "1" or "ab" would garble
// the log without protecting anything (such values are still masked where a known key names them).
constexpr std::size_t kMinBareSecretLength = 4;

// The stored secrets whose values are masked wherever they appear (token and password of the account).
std::vector<std::u16string> StoredSecrets();

// The text with every secret masked.
std::u16string MaskBundleSecrets(std::u16string_view text, const std::vector<std::u16string>& secrets);

// Copies a UTF-16LE text file (the client log) line by line with every secret masked, streaming it in
// pieces. False (with the system error) when either file cannot be opened or written.
bool CopyMaskedText(std::u16string_view from, std::u16string_view to,
                    const std::vector<std::u16string>& secrets, uint32_t& error);

}  // namespace velora
