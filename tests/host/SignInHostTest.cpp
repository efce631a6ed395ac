// What the login window hears from a sign-in run: the window messages of each outcome, recorded by the
// host's simulated window, against the cloud stand-in.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "auth/SignIn.h"
#include "core/WindowMessages.h"
#include "platform/Text.h"
#include "platform/host/SimWindows.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

using platform::host::SimMessage;

class SignInHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Open());
        window = platform::host::CreateSimWindow({}, [this](uint32_t, uintptr_t, intptr_t lParam) -> intptr_t {
            std::lock_guard l(lock);
            sentTexts.emplace_back(lParam ? reinterpret_cast<const char16_t*>(lParam) : u"");
            return 0;
        });
    }
    void TearDown() override { (void)platform::host::DestroySimWindow(window); }

    std::vector<SimMessage> Run(int32_t page, std::u16string_view name, std::u16string_view password,
                                bool requested = true) {
        LoginPage = page;
        signInRequested = requested;
        context.customerId = u"12";
        context.userName = name;
        context.password = password;
        context.notifyWindow = window;
        runSignIn(context);
        return platform::host::TakeSimMessages(window);
    }

    CSignInWorld world;
    SignInContext context;
    platform::WindowHandle window = nullptr;
    std::mutex lock;
    std::vector<std::u16string> sentTexts;
};

TEST_F(SignInHostTest, EachOutcomeReachesTheWindowAsItsMessage) {
    auto m = Run(PageCustomerId, u"", u"");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].message, UM_SIGNIN_RESULT);
    EXPECT_EQ(m[0].wParam, static_cast<uintptr_t>(kSignInPageChanged));
    EXPECT_EQ(LoginPage.load(), PagePassword);  // no sign-in methods configured: password only

    m = Run(PagePassword, u"alice", u"secret1");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].message, UM_SIGNIN_RESULT);
    EXPECT_EQ(m[0].wParam, 0u);
    EXPECT_FALSE(m[0].sent);
    EXPECT_EQ(GetSettingInt(u"EnableOuterAuth2", -1), 0);

    context.authToken.clear();
    m = Run(PagePassword, u"alice", u"bad-password");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].wParam, 401u);
    EXPECT_TRUE(m[0].sent);
    {
        std::lock_guard l(lock);
        ASSERT_FALSE(sentTexts.empty());
        EXPECT_EQ(sentTexts.back(), u"1007 Wrong user name or password");
    }

    m = Run(PagePassword, u"sam", u"secret3");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].message, UM_SMS_NEEDED);
    {
        std::lock_guard l(lock);
        EXPECT_EQ(sentTexts.back(), u"138****1234");
    }

    m = Run(PagePassword, u"otto", u"secret4");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].message, UM_OTP_STEP);
    EXPECT_FALSE(otpMiddleToken.Empty());

    // No external sign-in registered: the external page reports that at once.
    ASSERT_TRUE(world.Open(uR"({"customers":["12"],"authConfig":{"authConfigs":[{"authenticationProtocol":
        "authorization-code","identityProvider":"idp1","configUrl":"/api/mobile/auth/idp"}],
        "supportedOrdinaryAuthentication":true}})"));
    context = SignInContext();
    m = Run(PageCustomerId, u"", u"");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(LoginPage.load(), PageExternal);
    m = Run(PageExternal, u"", u"");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].wParam, static_cast<uintptr_t>(kSignInNotSupported));
}

TEST_F(SignInHostTest, DiscoveryFailureAndNewerPrivacyPolicyGoToTheDiscoveryMessage) {
    SetSettingText(u"DiscoveryUrl", u"https://127.0.0.1:1/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", u"https://127.0.0.1:1/api/mobile/v1/orchinfo");
    auto m = Run(PagePassword, u"alice", u"secret1");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].message, UM_DISCOVERY_RESULT);
    EXPECT_EQ(m[0].wParam, 12029u);

    ASSERT_TRUE(world.Open(uR"({"customers":["12"],"privacyVersion":"9"})"));
    m = Run(PagePassword, u"alice", u"secret1");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].message, UM_DISCOVERY_RESULT);
    EXPECT_EQ(m[0].wParam, static_cast<uintptr_t>(kPrivacyPolicyNewer));
}

}  // namespace
}  // namespace velora::test
