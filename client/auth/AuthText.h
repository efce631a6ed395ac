// Small helpers of the sign-in code: how much of an answer goes into the log (the log itself masks its
// secrets, core/SecretMask.h), and settings writes that skip values already stored (a write may be costly:
// the host store makes each one durable on disk).
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

// SetSetting / SetSettingInt, unless the stored value already equals `value`.
void StoreSetting(std::u16string_view name, std::u16string_view value);
void StoreSettingInt(std::u16string_view name, int32_t value);

}  // namespace velora
