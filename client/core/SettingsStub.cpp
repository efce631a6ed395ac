// Temporary: an in-memory settings store before the real one lands.
#include <map>
#include <mutex>

#include "core/Settings.h"

namespace velora {
namespace {
std::mutex g_lock;
std::map<std::u16string, std::u16string, std::less<>> g_texts;
std::map<std::u16string, int32_t, std::less<>> g_ints;
std::map<std::u16string, std::vector<uint8_t>, std::less<>> g_bins;
}  // namespace
std::u16string GetSetting(std::u16string_view name, std::u16string_view def) { return GetSettingText(name, def); }
void SetSetting(std::u16string_view name, std::u16string_view value) { SetSettingText(name, value); }
int32_t GetSettingInt(std::u16string_view name, int32_t def) {
    std::lock_guard l(g_lock);
    auto it = g_ints.find(name);
    return it == g_ints.end() ? def : it->second;
}
void SetSettingInt(std::u16string_view name, int32_t value) {
    std::lock_guard l(g_lock);
    g_ints[std::u16string(name)] = value;
}
std::u16string GetSettingText(std::u16string_view name, std::u16string_view def) {
    std::lock_guard l(g_lock);
    auto it = g_texts.find(name);
    return it == g_texts.end() ? std::u16string(def) : it->second;
}
void SetSettingText(std::u16string_view name, std::u16string_view value) {
    std::lock_guard l(g_lock);
    g_texts[std::u16string(name)] = std::u16string(value);
}
bool GetSettingBinary(std::u16string_view name, std::vector<uint8_t>& value) {
    std::lock_guard l(g_lock);
    auto it = g_bins.find(name);
    if (it == g_bins.end()) return false;
    value = it->second;
    return true;
}
void SetSettingBinary(std::u16string_view name, const uint8_t* data, std::size_t size) {
    std::lock_guard l(g_lock);
    g_bins[std::u16string(name)] = std::vector<uint8_t>(data, data + size);
}
void MigratePlainSettings() {}
}  // namespace velora
