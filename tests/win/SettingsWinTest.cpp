// The encrypted settings under a Chinese thread code page: the stored form holds the GBK bytes, and the
// value reads back exactly; the section is a real registry key of REG_SZ values.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/Aes128.h"
#include "core/Settings.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"

namespace {

class CThreadLocale {
public:
    explicit CThreadLocale(LCID locale) : previous_(GetThreadLocale()) {
        ok_ = SetThreadLocale(locale) != FALSE;
    }
    ~CThreadLocale() { SetThreadLocale(previous_); }
    bool ok() const { return ok_; }

private:
    LCID previous_;
    bool ok_ = false;
};

TEST(SettingsWin, ChineseTextRoundTripsUnderAChineseCodePage) {
    ASSERT_TRUE(platform::ClearProfileForTest());
    CThreadLocale locale(MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT));
    ASSERT_TRUE(locale.ok());
    const std::u16string value = u"中文用户";
    ASSERT_EQ(platform::Utf16ToNarrow(value), "\xD6\xD0\xCE\xC4\xD3\xC3\xBB\xA7");  // GBK

    velora::SetSetting(u"Username", value);
    EXPECT_EQ(velora::GetSetting(u"Username", u""), value);

    // The registry holds a REG_SZ of 32 upper-case digits that decrypt to the GBK bytes.
    wchar_t stored[128] = {};
    DWORD size = sizeof stored;
    DWORD type = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Halvane\\Velora\\Settings", L"Username", RRF_RT_ANY,
                           &type, stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(wcslen(stored), 32u);
    uint8_t cipher[16];
    for (int i = 0; i < 16; ++i)
        cipher[i] = static_cast<uint8_t>(std::stoi(std::wstring(stored + 2 * i, 2), nullptr, 16));
    uint8_t plain[16];
    ASSERT_TRUE(velora::CAes128::Program().Decrypt(cipher, sizeof cipher, plain));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plain), 9),
              std::string("\xD6\xD0\xCE\xC4\xD3\xC3\xBB\xA7\0", 9));
}

}  // namespace
