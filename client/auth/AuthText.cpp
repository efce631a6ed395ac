// Text helpers of the sign-in code.
#include "auth/AuthText.h"

#include "core/Settings.h"

namespace velora {

std::u16string LogSnippet(std::u16string_view text) {
    if (text.size() <= kMaxLoggedAnswer) return std::u16string(text);
    return std::u16string(text.substr(0, kMaxLoggedAnswer)) + u"...";
}

void StoreSetting(std::u16string_view name, std::u16string_view value) {
    if (GetSetting(name, u"\x1F") != value) SetSetting(name, value);
}

void StoreSettingInt(std::u16string_view name, int32_t value) {
    // A default that differs from the value: a missing setting is always written.
    if (GetSettingInt(name, value == 0 ? 1 : 0) != value) SetSettingInt(name, value);
}

}  // namespace velora
