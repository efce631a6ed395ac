// Account operations: the privacy date line and consent, the password change and the sign-out against
// the stand-in, with what reaches the main window.
#include <gtest/gtest.h>

#include "auth/Account.h"
#include "auth/SignInState.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "support/FactorFixture.h"
#include "support/RecordingWindow.h"

namespace velora {
namespace {

using test::CRecordingWindow;
using test::FactorFixture;
using test::RecordedMessage;

TEST(PrivacyDate, EnglishAndChineseLines) {
    struct Case {
        const char16_t* version;
        uint16_t language;
        const char16_t* text;
    } cases[] = {
        {u"20220512", 0x0409, u"Updated on May 12, 2022"},
        {u"20220101", 0x0409, u"Updated on January 01, 2022"},
        {u"20221231", 0x0409, u"Updated on December 31, 2022"},
        {u"20221312", 0x0409, u""},
        {u"20220012", 0x0409, u""},
        {u"2022+512", 0x0409, u""},
        {u"2022051", 0x0409, u""},
        {u"202205120", 0x0409, u""},
        {u"", 0x0409, u""},
        {u"20220512", kLanguageChinese, u"更新于2022年05月12日"},
        {u"20221312", kLanguageChinese, u"更新于2022年13月12日"},  // written as given
        {u"2022051", kLanguageChinese, u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(privacyDateText(c.version, c.language), c.text) << platform::Utf16ToUtf8(c.version);
    }
}

class AccountTest : public FactorFixture {
protected:
    std::vector<RecordedMessage> Run(std::unique_ptr<platform::Thread> thread) {
        EXPECT_TRUE(thread);
        if (!thread) return {};
        EXPECT_TRUE(window_.PumpUntil([&] { return thread->Wait(0); }, 60000));
        window_.WaitFor(0, 50);
        return window_.Take();
    }
    std::vector<RecordedMessage> Change(std::u16string_view oldPassword, std::u16string_view newPassword) {
        uint32_t error = 0;
        return Run(StartChangePassword(std::u16string(oldPassword), std::u16string(newPassword),
                                       window_.Handle(), error));
    }
    CRecordingWindow window_;
};

TEST_F(AccountTest, ConsentStoresTheFetchedVersionOrNewest) {
    privacyVersion.Set(u"20240301");
    AcceptPrivacyPolicy();
    EXPECT_TRUE(agreeToPrivacy);
    EXPECT_TRUE(PrivacyPolicyAccepted());
    EXPECT_EQ(GetSetting(u"PrivacyVersion", u""), u"20240301");
    privacyVersion.Clear();
    AcceptPrivacyPolicy();
    EXPECT_EQ(GetSetting(u"PrivacyVersion", u""), u"newest");
}

TEST_F(AccountTest, PasswordChangeWithoutTokenNeverReachesTheNetwork) {
    UseTenant(u"{\"factors\":{\"password\":{\"current\":\"old-1\"}}}");
    const auto messages = Change(u"old-1", u"new-1");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, UM_CONNECT_RESULT);
    EXPECT_EQ(messages[0].wParam, static_cast<uintptr_t>(kNoAuthToken));
    EXPECT_EQ(RequestCount(u"/api/mobile/v2/resetpassword"), "0");
}

TEST_F(AccountTest, PasswordChangeOutcomes) {
    struct Case {
        const char16_t* data;
        bool publicKey;  // the service hands out its key (else the key request fails)
        const char16_t* oldPassword;
        uintptr_t code;
        bool sent;
        const char16_t* text;
    } cases[] = {
        {u"{\"current\":\"old-1\",\"tokens\":[\"tok-1\"]}", false, u"old-1", 0, false, u""},
        {u"{\"current\":\"old-1\",\"tokens\":[\"tok-1\"]}", true, u"old-1", 0, false, u""},
        // 406 shows the key's text itself.
        {u"{\"current\":\"old-1\",\"tokens\":[\"tok-1\"]}", false, u"wrong", 406, true,
         u"The old password is incorrect"},
        // HTTP 500 without "i18nKey" is a failure with the status, never a success.
        {u"{\"tokens\":[\"tok-1\"],\"failure\":{\"status\":500,\"body\":{\"error\":\"x\"}}}", true, u"old-1",
         500, false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.data));
        UseTenant(u"{\"factors\":{\"password\":" + std::u16string(c.data) + u"}}");
        if (!c.publicKey) {
            sim_.Answer(u"{\"path\":\"" + TenantPath(u"/s/mobile/pubkey/obtain") + u"\",\"status\":503}");
        }
        serverPublicKey.Clear();
        SetSetting(u"AuthToken", u"tok-1");
        const auto messages = Change(c.oldPassword, u"new \"1\"");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].message, UM_PASSWORD_CHANGED);
        EXPECT_EQ(messages[0].wParam, c.code);
        EXPECT_EQ(messages[0].sent, c.sent);
        EXPECT_EQ(messages[0].text, c.text);
        const std::string body = sim_.Last(TenantPath(u"/api/mobile/v2/resetpassword"), u"body");
        if (c.publicKey) {
            // "key:ciphertext" for both, never the clear passwords.
            EXPECT_EQ(body.rfind("{\"oldEncryptPassword\":\"", 0), 0u) << body;
            EXPECT_NE(body.find("\",\"newEncryptPassword\":\""), std::string::npos) << body;
            EXPECT_EQ(body.find("old-1"), std::string::npos) << body;
        } else {
            // The key request failed silently: the clear body, a quotation mark kept inside its value.
            EXPECT_EQ(body, "{\"oldPassword\":\"" + test::U8(c.oldPassword) +
                                "\",\"newPassword\":\"new \\\"1\\\"\"}");
        }
        const std::string headers = sim_.Last(TenantPath(u"/api/mobile/v2/resetpassword"), u"headers");
        EXPECT_TRUE(test::HasHeader(headers, "X-KX-AUTH-HEADER", "tok-1")) << headers;
        EXPECT_TRUE(test::HasHeader(headers, "type", "windows")) << headers;
        // The auth line comes first, then "sn:" and "type:windows".
        const auto auth = headers.find("\nX-KX-AUTH-HEADER:");
        const auto sn = headers.find("\nsn:");
        const auto type = headers.find("\ntype:");
        ASSERT_NE(sn, std::string::npos) << headers;
        EXPECT_LT(auth, sn) << headers;
        EXPECT_LT(sn, type) << headers;
    }
}

// A key held from an earlier exchange is no key for this one: when the key request fails, the clear body
// goes, whatever the process still remembers.
TEST_F(AccountTest, PasswordChangeWithAFailedKeyRequestSendsTheClearBodyDespiteAnEarlierKey) {
    UseTenant(u"{\"factors\":{\"password\":{\"current\":\"old-1\",\"tokens\":[\"tok-1\"]}}}");
    SetSetting(u"AuthToken", u"tok-1");
    serverPublicKey.Clear();
    ASSERT_EQ(Change(u"old-1", u"new-2").size(), 1u);  // fetches and keeps the service's key
    ASSERT_FALSE(serverPublicKey.Empty());
    sim_.Answer(u"{\"path\":\"" + TenantPath(u"/s/mobile/pubkey/obtain") + u"\",\"status\":503}");
    const auto messages = Change(u"new-2", u"new-3");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 0u);
    EXPECT_EQ(sim_.Last(TenantPath(u"/api/mobile/v2/resetpassword"), u"body"),
              "{\"oldPassword\":\"new-2\",\"newPassword\":\"new-3\"}");
}

TEST_F(AccountTest, SignOutTellsTheServiceAndForgetsTheToken) {
    UseTenant(u"{}");
    SetSetting(u"AuthToken", u"tok-9");
    uint32_t error = 0;
    auto thread = StartSignOut(true, error);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(thread->Wait(60000));
    EXPECT_EQ(GetSetting(u"AuthToken", u"missing"), u"");
    EXPECT_EQ(RequestCount(u"/api/mobile/v2/signout"), "1");
    EXPECT_TRUE(test::HasHeader(sim_.Last(TenantPath(u"/api/mobile/v2/signout"), u"headers"),
                                "X-KX-AUTH-HEADER", "tok-9"));
    EXPECT_NE(FactorState().find("\"signouts\":[\"tok-9\"]"), std::string::npos) << FactorState();

    // Without the flag the token stays; with nobody listening the failure is ignored.
    SetSetting(u"AuthToken", u"tok-10");
    SetSetting(u"AuthUrl", u"https://127.0.0.1:1/api/mobile/v2/auth");
    signOut(false);
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"tok-10");
    signOut(true);
    EXPECT_EQ(GetSetting(u"AuthToken", u"missing"), u"");
}

}  // namespace
}  // namespace velora
