// Reading a sign-in answer and the step it leads to, as tables: the answers the service gives for each
// outcome, the order of the rules, and answers that must not be taken for what they are not.
#include <gtest/gtest.h>

#include "auth/SignInAnswer.h"
#include "platform/Text.h"

namespace velora {
namespace {

TEST(SignInAnswer, FieldsAreReadFromTheirKeys) {
    const SignInAnswer a = ParseSignInAnswer(
        u"{\"X-KX-AUTH-HEADER\":\"tok-1\",\"accountName\":\"corp\\\\al\",\"otpMiddleToken\":\"mid\","
        u"\"otpKey\":\"KEY\",\"otpRecoverCode\":\"RC\",\"requestIdForPoll\":\"r1\",\"authResultCheckUrl\":"
        u"\"https://a/check\",\"authResultCheckInterval\":3,\"authResultCheckTimes\":4,"
        u"\"windowsProcessNameExpression\":\"a.exe\",\"windowsVersionList\":[\"win10\",\"win11\"],"
        u"\"phoneNumber\":\"138\",\"middleToken\":\"sms-1\"}");
    EXPECT_EQ(a.token, u"tok-1");
    EXPECT_EQ(a.accountName, u"corp\\\\al");  // JSON text as it stands in the answer
    EXPECT_EQ(a.otpMiddleToken, u"mid");
    EXPECT_EQ(a.otpKey, u"KEY");
    EXPECT_EQ(a.otpRecoverCode, u"RC");
    EXPECT_EQ(a.requestIdForPoll, u"r1");
    EXPECT_EQ(a.checkUrl, u"https://a/check");
    EXPECT_EQ(a.checkInterval, 3);
    EXPECT_EQ(a.checkTimes, 4);
    EXPECT_EQ(a.processList, u"a.exe");
    EXPECT_EQ(a.osList, u"win10,win11");
    EXPECT_EQ(a.phoneNumber, u"138");
    EXPECT_EQ(a.middleToken, u"sms-1");
}

TEST(SignInAnswer, TheTokenCountsOnlyAsAKey) {
    struct Case {
        const char16_t* answer;
        const char16_t* token;
    } cases[] = {
        {u"{\"X-KX-AUTH-HEADER\":\"t1\"}", u"t1"},
        {u"{\"note\":\"X-KX-AUTH-HEADER\",\"code\":\"0\"}", u""},
        {u"{\"note\":\"X-KX-AUTH-HEADER\",\"X-KX-AUTH-HEADER\":\"t2\"}", u"t2"},
        {u"{\"note\":\"\\\"X-KX-AUTH-HEADER\\\":\\\"forged\\\"\"}", u""},
        {u"{\"X-KX-AUTH-HEADER\":12345}", u""},
        {u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseSignInAnswer(c.answer).token, c.token) << platform::Utf16ToUtf8(c.answer);
    }
}

TEST(SignInAnswer, TheFirstRuleThatAppliesDecidesTheStep) {
    struct Case {
        const char* name;
        const char16_t* answer;
        bool otpCodePage;
        bool external;
        SignInStep step;
    } cases[] = {
        {"token", u"{\"X-KX-AUTH-HEADER\":\"t\"}", false, false, SignInStep::SignedIn},
        {"token wins over a one-time-password step", u"{\"X-KX-AUTH-HEADER\":\"t\",\"otpMiddleToken\":\"m\"}",
         false, false, SignInStep::SignedIn},
        {"token wins over SMS", u"{\"X-KX-AUTH-HEADER\":\"t\",\"middleToken\":\"s\"}", false, false,
         SignInStep::SignedIn},
        {"one-time password", u"{\"otpMiddleToken\":\"m\",\"otpKey\":\"\"}", false, false,
         SignInStep::OneTimePassword},
        {"one-time password wins over SMS", u"{\"otpMiddleToken\":\"m\",\"phoneNumber\":\"1\"}", false, false,
         SignInStep::OneTimePassword},
        {"no new OTP step for a code submission", u"{\"otpMiddleToken\":\"m\"}", true, false,
         SignInStep::Unparsable},
        {"SMS by number", u"{\"phoneNumber\":\"138\"}", false, false, SignInStep::Sms},
        {"SMS by middle token", u"{\"middleToken\":\"s\"}", false, false, SignInStep::Sms},
        {"poll", u"{\"requestIdForPoll\":\"r\",\"authResultCheckUrl\":\"u\"}", false, false,
         SignInStep::Poll},
        {"no polling for an external sign-in", u"{\"requestIdForPoll\":\"r\",\"authResultCheckUrl\":\"u\"}",
         false, true, SignInStep::Unparsable},
        {"poll without check URL", u"{\"requestIdForPoll\":\"r\"}", false, false, SignInStep::Unparsable},
        {"empty object", u"{}", false, false, SignInStep::Unparsable},
        {"not JSON", u"<html>busy</html>", false, false, SignInStep::Unparsable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecideSignInStep(ParseSignInAnswer(c.answer), c.otpCodePage, c.external), c.step);
    }
}

}  // namespace
}  // namespace velora
