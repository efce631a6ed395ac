// Velora.dll's ValidateUser signs in for real under Wine (WinINet over HTTPS, CNG for the credentials)
// against the cloud stand-in, and leaves the settings in the registry exactly as a caller expects them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/Settings.h"
#include "platform/Text.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

using InitFn = int (*)(const wchar_t*, const wchar_t*);
using ValidateUserFn = unsigned long (*)(const wchar_t*, const wchar_t*, const wchar_t*, wchar_t*, unsigned long long);

std::wstring BinFile(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

class ValidateUserWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Open());
        HMODULE dll = LoadLibraryW(BinFile(L"Velora.dll").c_str());
        ASSERT_NE(dll, nullptr) << GetLastError();
        const auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VeloraInit")));
        validateUser =
            reinterpret_cast<ValidateUserFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VeloraValidateUser")));
        ASSERT_TRUE(init && validateUser);
        ASSERT_EQ(init(nullptr, nullptr), 1);
    }
    std::u16string Call(const wchar_t* customer, const wchar_t* name, const wchar_t* password, unsigned long& code) {
        wchar_t buffer[128];
        code = validateUser(customer, name, password, buffer, 128);
        return std::u16string(reinterpret_cast<const char16_t*>(buffer));
    }

    CSignInWorld world;
    ValidateUserFn validateUser = nullptr;
};

TEST_F(ValidateUserWinTest, PasswordAndPolledAccountsSignIn) {
    unsigned long code = 0;
    EXPECT_EQ(Call(L"12", L"alice", L"secret1", code), u"");
    ASSERT_EQ(code, 0u);
    const std::u16string first = GetSetting(u"AuthToken", u"");
    EXPECT_EQ(first.substr(0, 4), u"tok-");
    EXPECT_EQ(GetSetting(u"Username", u""), u"alice");
    EXPECT_EQ(GetSetting(u"Password", u""), u"*******");
    EXPECT_EQ(GetSetting(u"CustomerId", u""), u"12");
    EXPECT_EQ(GetSetting(u"AuthUrl", u""), world.base + u"/api/mobile/v2/auth");
    // The service decrypted what CNG encrypted: the sign-in body carries no clear password.
    const std::string body = world.sim.Last(world.Path(u"/api/mobile/v2/auth"), u"body");
    EXPECT_EQ(body.rfind("{\"encryptPassword\":\"", 0), 0u) << body;

    EXPECT_EQ(Call(L"12", L"polly", L"secret2", code), u"");
    EXPECT_EQ(code, 0u);
    EXPECT_NE(GetSetting(u"AuthToken", u""), first);
    EXPECT_EQ(GetSetting(u"Username", u""), u"polly");
}

TEST_F(ValidateUserWinTest, EachFailureWording) {
    struct Case {
        const wchar_t* customer;
        const wchar_t* name;
        const wchar_t* password;
        unsigned long code;
        const char16_t* message;
    };
    const Case cases[] = {
        {L"12", L"alice", L"wrong-1", 401, u"1007 Wrong user name or password"},
        {L"77", L"alice", L"secret1", 2001, u"2001 Unknown customer"},
        {L"12", L"sam", L"secret3", 50, u"Not supported"},
        {L"12a", L"alice", L"secret1", 87, u"2015 Invalid customer ID"},
    };
    for (const Case& k : cases) {
        SetSetting(u"AuthToken", u"old-token");
        unsigned long code = 0;
        EXPECT_EQ(Call(k.customer, k.name, k.password, code), k.message);
        EXPECT_EQ(code, k.code);
        if (k.code != 87) {
            EXPECT_EQ(GetSetting(u"AuthToken", u"?"), u"");
        }
    }
    // Nobody listens on the discovery port: the time-out wording.
    SetSettingText(u"DiscoveryUrl", u"https://127.0.0.1:1/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", u"https://127.0.0.1:1/backup/api/mobile/v1/orchinfo");
    unsigned long code = 0;
    EXPECT_EQ(Call(L"12", L"alice", L"secret1", code), u"Request time out.The network or the server might be unavailable");
    EXPECT_EQ(code, 12029u);
}

}  // namespace
}  // namespace velora::test
