// One-time-password code submission and recovery: the checks made before any request, the recovery URL,
// and the recovery request end to end against the stand-in.
#include <gtest/gtest.h>

#include "auth/Otp.h"
#include "auth/SignInState.h"
#include "support/FactorFixture.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora {
namespace {

using test::CRecordingWindow;
using test::FactorFixture;
using test::RecordedMessage;

TEST(OtpRecovery, UrlReplacesEveryAuth) {
    EXPECT_EQ(OtpRecoveryUrl(u"https://a.example/api/mobile/v2/auth"),
              u"https://a.example/api/mobile/v2/recoverOtpKey");
    // Also inside the host part, as the service's own clients do.
    EXPECT_EQ(OtpRecoveryUrl(u"https://auth.example/api/mobile/v2/auth"),
              u"https://recoverOtpKey.example/api/mobile/v2/recoverOtpKey");
    EXPECT_EQ(OtpRecoveryUrl(u"https://a/authx"), u"https://a/recoverOtpKeyx");
    EXPECT_EQ(OtpRecoveryUrl(u""), u"");
}

TEST(OtpRecovery, CodesAreCheckedBeforeAnyRequest) {
    struct Case {
        const char16_t* typed;
        uint32_t message;
    } cases[] = {
        {u"Ab3dEf6hIj9kLm2n", 0},
        {u"Ab3dEf6hIj9kLm2n  \t", 0},
        {u"", 1348},
        {u"   ", 1348},
        {u"Recovery Code", 1348},
        {u"Ab3dEf6hIj9kLm2", 1350},
        {u"Ab3dEf6hIj9kLm2nX", 1350},
        {u"Ab3dEf6h-j9kLm2n", 1350},
        {u" b3dEf6hIj9kLm2n", 1350},
        {u"Ab3dEf6hIj9kLm2\u00e9", 1350},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckRecoveryCode(c.typed, u"Recovery Code"), c.message) << platform::Utf16ToUtf8(c.typed);
    }
}

TEST(OtpCode, BoxesAreReadLeftToRight) {
    ResetSignInStateForTest();
    otpMiddleToken.Set(u"otp-mid");
    SignInContext context;
    EXPECT_TRUE(PrepareOtpSubmission({u"1", u"2 ", u"3", u"4\t", u"5", u"6"}, context));
    EXPECT_EQ(context.otpCode, u"123456");
    EXPECT_EQ(context.otpMiddleToken, u"otp-mid");

    SignInContext untouched;
    EXPECT_FALSE(PrepareOtpSubmission({u"1", u"2", u"", u"4", u"5", u"6"}, untouched));
    EXPECT_TRUE(untouched.otpCode.empty());
    EXPECT_TRUE(untouched.otpMiddleToken.empty());
}

class OtpRecoveryTest : public FactorFixture {
protected:
    std::vector<RecordedMessage> Recover(std::u16string_view code,
                                         std::u16string_view middle = u"otp-mid-1") {
        OtpRecoverRequest r;
        r.url = OtpRecoveryUrl(authUrl_);
        r.otpMiddleToken = std::u16string(middle);
        r.recoverCode = std::u16string(code);
        r.customerId = u"1234";
        r.dialog = window_.Handle();
        uint32_t error = 0;
        auto thread = StartRecoverOtpKey(r, error);
        EXPECT_TRUE(thread);
        if (!thread) return {};
        EXPECT_TRUE(window_.PumpUntil([&] { return thread->Wait(0); }, 60000));
        window_.WaitFor(0, 50);
        return window_.Take();
    }
    CRecordingWindow window_;
};

TEST_F(OtpRecoveryTest, AcceptedCodeBringsANewSecret) {
    UseTenant(
        u"{\"factors\":{\"otp\":{\"recoverCode\":\"Ab3dEf6hIj9kLm2n\",\"otpMiddleToken\":\"otp-mid-1\","
        u"\"newOtpKey\":\"KRSXG5CTMVRXEZLU\",\"accountName\":\"alice\",\"newMiddleToken\":\"otp-mid-2\"}}}");
    const auto messages = Recover(u"Ab3dEf6hIj9kLm2n");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, UM_OTP_RECOVER_RESULT);
    EXPECT_EQ(messages[0].wParam, 0u);
    EXPECT_EQ(otpKey.Get(), u"KRSXG5CTMVRXEZLU");
    EXPECT_EQ(otpAccountName.Get(), u"alice");
    EXPECT_EQ(otpMiddleToken.Get(), u"otp-mid-2");
    EXPECT_EQ(
        sim_.Last(TenantPath(u"/api/mobile/v2/recoverOtpKey"), u"body"),
        "{\"otpMiddleToken\":\"otp-mid-1\",\"recoverCode\":\"Ab3dEf6hIj9kLm2n\",\"customerId\":\"1234\"}");
}

// The middle token is JSON text as cut from the sign-in answer: the service reads the token it handed out,
// not one with its backslashes doubled.
TEST_F(OtpRecoveryTest, MiddleTokenGoesAsCutFromTheAnswer) {
    UseTenant(
        uR"({"factors":{"otp":{"recoverCode":"Ab3dEf6hIj9kLm2n","otpMiddleToken":"otp/mid\"1",)"
        uR"("newOtpKey":"KRSXG5CTMVRXEZLU","accountName":"alice","newMiddleToken":"otp-mid-2"}}})");
    const auto messages = Recover(u"Ab3dEf6hIj9kLm2n", uR"(otp\/mid\"1)");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 0u);
    EXPECT_EQ(sim_.Last(TenantPath(u"/api/mobile/v2/recoverOtpKey"), u"body"),
              R"({"otpMiddleToken":"otp\/mid\"1","recoverCode":"Ab3dEf6hIj9kLm2n","customerId":"1234"})");
}

// The recovery exchange handles the recovery code, the new secret and the new middle token: none of them
// reaches the log.
TEST_F(OtpRecoveryTest, NoSecretOfTheRecoveryReachesTheLog) {
    UseTenant(
        u"{\"factors\":{\"otp\":{\"recoverCode\":\"Ab3dEf6hIj9kLm2n\",\"otpMiddleToken\":\"otp-mid-1\","
        u"\"newOtpKey\":\"KRSXG5CTMVRXEZLU\",\"accountName\":\"alice\",\"newMiddleToken\":\"otp-mid-2\"}}}");
    test::CLogCapture log;
    ASSERT_EQ(Recover(u"Ab3dEf6hIj9kLm2n").size(), 1u);
    ASSERT_EQ(otpKey.Get(), u"KRSXG5CTMVRXEZLU");
    log.ExpectNone({"Ab3dEf6hIj9kLm2n", "KRSXG5CTMVRXEZLU", "otp-mid-1", "otp-mid-2"});
    EXPECT_NE(log.Text().find("Using recovery code: "), std::string::npos);
}

TEST_F(OtpRecoveryTest, RefusedCodeKeepsTheSecretAndReportsTheStatus) {
    UseTenant(u"{\"factors\":{\"otp\":{\"recoverCode\":\"Ab3dEf6hIj9kLm2n\"}}}");
    otpKey.Set(u"OLD");
    const auto messages = Recover(u"Zz3dEf6hIj9kLm2n");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, UM_OTP_RECOVER_RESULT);
    EXPECT_EQ(messages[0].wParam, 400u);
    EXPECT_EQ(otpKey.Get(), u"OLD");
}

}  // namespace
}  // namespace velora
