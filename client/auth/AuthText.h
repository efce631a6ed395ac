// Small helpers of the sign-in code: what of an answer goes into the log, and settings writes that skip
// values already stored (a write may be costly: the host store makes each one durable on disk).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

// Answers are logged whole up to this many units; a longer (broken or hostile) answer is cut, so a
// 10 MB answer cannot flood the log.
constexpr std::size_t kMaxLoggedAnswer = 4096;

// The text, cut to kMaxLoggedAnswer units with "..." appended when it was longer.
std::u16string LogSnippet(std::u16string_view text);

// The text with the value of every key that carries a secret (tokens, middle tokens, the one-time-password
// secret and codes, recovery codes, passwords, authorization codes and verifiers) written as "***", at
// every place the key stands as a key with a string value. Everything a flow logs goes through it.
std::u16string MaskSecrets(std::u16string_view text);

// A URL (or redirect) with the value of the query parameter `name` written as "***".
std::u16string MaskUrlParameter(std::u16string_view url, std::u16string_view name);

// SetSetting / SetSettingInt, unless the stored value already equals `value`.
void StoreSetting(std::u16string_view name, std::u16string_view value);
void StoreSettingInt(std::u16string_view name, int32_t value);

}  // namespace velora
