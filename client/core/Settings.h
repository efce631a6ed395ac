// The per-user settings section "Settings": encrypted texts (AES-128, upper-case hex), plain texts,
// 32-bit integers and binary values. A missing value reads as the caller's default. Each listed setting has
// one kind (core/SettingKeys.h): a getter or setter of another kind is refused (the default, or nothing
// stored) and logged once.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

std::u16string GetSetting(std::u16string_view name, std::u16string_view defaultValue);
void SetSetting(std::u16string_view name, std::u16string_view value);
int32_t GetSettingInt(std::u16string_view name, int32_t defaultValue);
void SetSettingInt(std::u16string_view name, int32_t value);
std::u16string GetSettingText(std::u16string_view name, std::u16string_view defaultValue);
void SetSettingText(std::u16string_view name, std::u16string_view value);
bool GetSettingBinary(std::u16string_view name, std::vector<uint8_t>& value);
void SetSettingBinary(std::u16string_view name, const uint8_t* data, std::size_t size);
// Re-stores values that an old version kept as plain text in their encrypted form.
void MigratePlainSettings();

}  // namespace velora
