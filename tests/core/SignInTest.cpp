// The sign-in flow end to end against the cloud stand-in over HTTPS: discovery with its backup and
// failure wordings, the password sign-in with encrypted credentials, polling, second factors, the
// settings it leaves, and every mangled answer the service could send.
#include <gtest/gtest.h>

#include <string>

#include "auth/Discovery.h"
#include "auth/SignIn.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "platform/Text.h"
#include "support/LogFiles.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

class SignInTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(world.Open()); }

    SignInContext Run(std::u16string_view customer, std::u16string_view name, std::u16string_view password) {
        SignInContext c;
        c.customerId = customer;
        c.userName = name;
        c.password = password;
        runApiSignIn(c);
        return c;
    }
    std::string LastBody(std::u16string_view path) { return world.sim.Last(world.Path(path), u"body"); }
    int Count(std::u16string_view path) {
        return std::atoi(world.sim.Last(world.Path(path), u"count").c_str());
    }
    // A scripted answer of this tenant's path (it wins over the stand-in's own operation).
    void Script(std::u16string_view path, std::u16string_view body, int status = 200) {
        world.sim.Answer(u"{\"path\":\"" + world.Path(path) + u"\",\"status\":" +
                         platform::Utf8ToUtf16(std::to_string(status)) + u",\"bodyBase64\":\"" +
                         platform::Utf8ToUtf16(Base64Of(platform::Utf16ToUtf8(body))) + u"\"}");
    }
    static std::string Base64Of(const std::string& in) {
        static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (std::size_t i = 0; i < in.size(); i += 3) {
            uint32_t v = static_cast<uint8_t>(in[i]) << 16;
            if (i + 1 < in.size()) v |= static_cast<uint8_t>(in[i + 1]) << 8;
            if (i + 2 < in.size()) v |= static_cast<uint8_t>(in[i + 2]);
            out += t[(v >> 18) & 63];
            out += t[(v >> 12) & 63];
            out += i + 1 < in.size() ? t[(v >> 6) & 63] : '=';
            out += i + 2 < in.size() ? t[v & 63] : '=';
        }
        return out;
    }

    CSignInWorld world;
};

TEST_F(SignInTest, PasswordSignInGrantsATokenAndStoresWhatTheAnswerCarries) {
    const SignInContext c = Run(u"12", u"alice", u"secret1");
    ASSERT_EQ(c.resultCode, 0) << platform::Utf16ToUtf8(c.message);
    EXPECT_EQ(c.authToken.substr(0, 4), u"tok-");
    EXPECT_EQ(c.authUrl, world.base + u"/api/mobile/v2/auth");
    EXPECT_EQ(GetSetting(u"AuthToken", u""), c.authToken);
    EXPECT_EQ(GetSetting(u"AuthUrl", u""), c.authUrl);
    EXPECT_EQ(GetSetting(u"ProcessList", u""), u"a.exe");
    EXPECT_EQ(GetSetting(u"OsList", u""), u"win10,win11");
    EXPECT_EQ(GetSettingInt(u"EnableOuterAuth2", -1), 0);  // acts as the password page

    // Discovery carries the form body; the credentials leave encrypted, in the template's spacing.
    EXPECT_EQ(LastBody(u"/api/mobile/v1/orchinfo"),
              "customerId=12&sn=" + platform::Utf16ToUtf8(GetSetting(u"Serial", u"")) + "&model=windows");
    const std::string body = LastBody(u"/api/mobile/v2/auth");
    EXPECT_EQ(body.rfind("{\"encryptPassword\":\"", 0), 0u) << body;
    EXPECT_NE(body.find("\",\"customerId\":12,\"encryptAccountName\":\""), std::string::npos);
    EXPECT_NE(body.find("\", \"support2FA\":true, \"supportPollByRequestId\":true,\"agreeToPrivacy\":false,"
                        "\"otpLogin\":false,\"supportOtp\":true,\"deviceId\":\"\",\"privacyVersion\":\"\","
                        "\"traceExtraInfo\":{\"internalIp\":\""),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find("secret1"), std::string::npos);
    EXPECT_EQ(world.sim.Last(world.Path(u"/api/mobile/v2/auth"), u"header&name=type"), "windows");
}

TEST_F(SignInTest, PolledAccountIsCheckedUntilApprovedAndThenSentAgain) {
    g_pollSleptMs = 0;
    const SignInContext c = Run(u"12", u"polly", u"secret2");
    ASSERT_EQ(c.resultCode, 0) << platform::Utf16ToUtf8(c.message);
    EXPECT_FALSE(c.authToken.empty());
    EXPECT_EQ(Count(u"/api/mobile/v2/auth"), 2);
    // Two pending checks, one approving: a pause of one second after each pending one.
    EXPECT_EQ(g_pollSleptMs.load(), 2000u);
    EXPECT_NE(LastBody(u"/api/mobile/v2/auth").find("\", \"requestIdForPoll\":\"req-"), std::string::npos);
}

TEST_F(SignInTest, SecondFactorsEndTheApiRunWithoutAToken) {
    const SignInContext sms = Run(u"12", u"sam", u"secret3");
    EXPECT_EQ(sms.resultCode, kSignInNotSupported);
    EXPECT_EQ(sms.message, u"Not supported");
    EXPECT_EQ(sms.smsMiddleToken.substr(0, 4), u"sms-");
    EXPECT_TRUE(sms.authToken.empty());

    const SignInContext otp = Run(u"12", u"otto", u"secret4");
    EXPECT_EQ(otp.resultCode, 0);
    EXPECT_TRUE(otp.authToken.empty());
    EXPECT_EQ(otpKey.Get(), u"JBSWY3DPEHPK3PXP");
    EXPECT_EQ(otpAccountName.Get(), u"otto");
    EXPECT_EQ(otpLogin.load(), 1);
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"");
}

TEST_F(SignInTest, FailureWordings) {
    // A refused password: the catalogue's text for the service's code.
    SignInContext c = Run(u"12", u"alice", u"wrong-pass");
    EXPECT_EQ(c.resultCode, 401);
    EXPECT_EQ(c.message, u"1007 Wrong user name or password");
    EXPECT_EQ(ErrorCatalogueVersionForTest(), u"7");

    // Both discovery servers refuse an unknown customer with a message: its code and text.
    c = Run(u"99", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 2001);
    EXPECT_EQ(c.message, u"2001 Unknown customer");

    // Both refuse without a message: the status.
    Script(u"/api/mobile/v1/orchinfo", u"busy", 503);
    Script(u"/backup/api/mobile/v1/orchinfo", u"busy", 503);
    c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 503);
    EXPECT_EQ(c.message, u"Authentication failed with code=503");

    // Nobody listens: the time-out wording.
    SetSettingText(u"DiscoveryUrl", u"https://127.0.0.1:1/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", u"https://127.0.0.1:1/backup/api/mobile/v1/orchinfo");
    c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 12029);
    EXPECT_EQ(c.message, u"Request time out.The network or the server might be unavailable");
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"");
}

TEST_F(SignInTest, BackupDiscoveryServerTakesOverAndDebugUrlSkipsDiscovery) {
    Script(u"/api/mobile/v1/orchinfo", u"down", 500);
    SignInContext c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 0) << platform::Utf16ToUtf8(c.message);
    EXPECT_EQ(Count(u"/backup/api/mobile/v1/orchinfo"), 1);

    SetSettingText(u"DebugOrchUrl", world.base + u"/api/mobile/v2/auth");
    Script(u"/backup/api/mobile/v1/orchinfo", u"down", 500);
    c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 0) << platform::Utf16ToUtf8(c.message);
    EXPECT_EQ(Count(u"/api/mobile/v1/orchinfo"), 1);  // only the first run asked
}

TEST_F(SignInTest, NewerPrivacyPolicyStopsARunThatCannotAcceptIt) {
    ASSERT_TRUE(
        world.Open(uR"({"customers":["12"],"privacyVersion":"20240101",
        "accounts":[{"customerId":"12","name":"alice","password":"secret1"}]})"));
    SignInContext c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, kPrivacyPolicyNewer);
    EXPECT_TRUE(c.authToken.empty());
    EXPECT_EQ(privacyVersion.Get(), u"20240101");

    SetSetting(u"PrivacyVersion", u"newest");
    c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 0);
    EXPECT_EQ(GetSetting(u"PrivacyVersion", u""), u"20240101");
    EXPECT_NE(LastBody(u"/api/mobile/v2/auth").find("\"privacyVersion\":\"20240101\""), std::string::npos);
}

// Mangled sign-in answers: none crashes, none leaves a token behind.
TEST_F(SignInTest, MangledSignInAnswersNeverGrantAToken) {
    struct Case {
        const char* name;
        std::u16string body;
        int32_t code;
    };
    const Case cases[] = {
        {"empty object", u"{}", 501},
        {"token of the wrong type", u"{\"X-KX-AUTH-HEADER\":12345}", 501},
        {"token key inside a string value", u"{\"note\":\"X-KX-AUTH-HEADER\",\"code\":\"0\"}", 501},
        {"escaped token inside a string", u"{\"note\":\"\\\"X-KX-AUTH-HEADER\\\":\\\"forged\\\"\"}", 501},
        {"poll without a check URL", u"{\"requestIdForPoll\":\"r1\"}", 501},
        {"checks given as a text",
         u"{\"requestIdForPoll\":\"r1\",\"authResultCheckUrl\":\"x\",\"authResultCheckTimes\":\"5\"}", 4082},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Script(u"/api/mobile/v2/auth", k.body);
        const SignInContext c = Run(u"12", u"alice", u"secret1");
        EXPECT_EQ(c.resultCode, k.code) << platform::Utf16ToUtf8(c.message);
        EXPECT_TRUE(c.authToken.empty());
        EXPECT_EQ(GetSetting(u"AuthToken", u""), u"");
    }
}

TEST_F(SignInTest, HugeAndNulAnswersEndTheRunCleanly) {
    world.sim.Fault(u"{\"path\":\"" + world.Path(u"/api/mobile/v2/auth") +
                    u"\",\"kind\":\"huge-body\",\"size\":10485760,\"times\":1}");
    SignInContext c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 501);
    EXPECT_TRUE(c.authToken.empty());
    world.sim.Fault(u"{\"path\":\"" + world.Path(u"/api/mobile/v2/auth") +
                    u"\",\"kind\":\"nul-bytes\",\"body\":\"{\\\"a\\\":\\\"b\\u0000\\\",\\\"X-KX-AUTH-"
                    u"HEADER\\\":\\\"t\\\"}\",\"times\":1}");
    c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 501);
    EXPECT_TRUE(c.authToken.empty());
}

// The service decides how often and how long to poll; a bad choice still ends promptly.
TEST_F(SignInTest, PollingIsBoundedWhateverTheAnswerAsks) {
    struct Case {
        int times;
        int interval;
        int checks;
        uint64_t sleptMs;
    };
    const Case cases[] = {{5, 0, 5, 0}, {3, -1, 3, 0}, {2, 100000, 2, 120000}, {0, 1, 0, 0}, {-4, 1, 0, 0}};
    int total = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.times);
        Script(u"/pollcheck", u"{\"resultCode\":1}");
        Script(u"/api/mobile/v2/auth", u"{\"requestIdForPoll\":\"r1\",\"authResultCheckUrl\":\"" +
                                           world.base + u"/pollcheck\",\"authResultCheckInterval\":" +
                                           platform::Utf8ToUtf16(std::to_string(k.interval)) +
                                           u",\"authResultCheckTimes\":" +
                                           platform::Utf8ToUtf16(std::to_string(k.times)) + u"}");
        g_pollSleptMs = 0;
        const SignInContext c = Run(u"12", u"alice", u"secret1");
        EXPECT_EQ(c.resultCode, 4082);
        EXPECT_EQ(c.message, u"2039 Asynchronous authentication timed out, please try again");
        total += k.checks;
        if (total > 0) {
            EXPECT_EQ(Count(u"/pollcheck"), total);
        }
        EXPECT_EQ(g_pollSleptMs.load(), k.sleptMs);
    }
}

TEST_F(SignInTest, ThePasswordNeverReachesTheLog) {
    StartLog(nullptr);
    CScratchFolder scratch;
    const std::u16string path = scratch.Path(u"signin.log");
    WriteBytes(path, kLogHeader);
    SetLogFilePath(path);
    // Clear bodies too: a server without a usable key makes the client send the password in the clear.
    Run(u"12", u"alice", u"Pw\"x/secret9");
    Script(u"/s/mobile/pubkey/obtain", u"{\"key\":\"\"}");
    Run(u"12", u"alice", u"Pw\"x/secret9");
    const std::string body = LastBody(u"/api/mobile/v2/auth");
    EXPECT_EQ(body.rfind("{\"password\":\"Pw\\\"x\\/secret9\",", 0), 0u) << body;
    const std::string log = ReadBytes(path);
    std::string narrow;
    for (std::size_t i = 2; i + 1 < log.size(); i += 2) narrow += log[i];
    EXPECT_NE(narrow.find("\"password\":\"***\""), std::string::npos);
    EXPECT_EQ(narrow.find("secret9"), std::string::npos);
}

// Every secret a sign-in handles stays out of the log, which the diagnosis bundle uploads: the token, the
// one-time-password secret and middle token, the typed one-time code, a recovery code of an error answer
// and whatever a poll answer carries.
TEST_F(SignInTest, NoSecretOfASignInReachesTheLog) {
    CLogCapture log;
    const SignInContext alice = Run(u"12", u"alice", u"secret1");
    ASSERT_EQ(alice.resultCode, 0);

    SignInContext otto;
    otto.customerId = u"12";
    otto.userName = u"otto";
    otto.password = u"secret4";
    runApiSignIn(otto);
    const std::u16string middle = otpMiddleToken.Get();
    ASSERT_FALSE(middle.empty());
    otto.otpMiddleToken = middle;
    otto.otpCode = u"987123";
    runApiSignIn(otto);  // a wrong code: refused, but the request carried code and middle token

    Script(u"/api/mobile/v2/auth",
           u"{\"code\":1007,\"message\":\"x\",\"otpRecoverCode\":\"RCSECRET00000001\"}", 401);
    Run(u"12", u"alice", u"secret1");
    Script(u"/pollcheck", u"{\"resultCode\":1,\"otpKey\":\"POLLSECRETKEY\"}");
    Script(u"/api/mobile/v2/auth", u"{\"requestIdForPoll\":\"r1\",\"authResultCheckUrl\":\"" + world.base +
                                       u"/pollcheck\",\"authResultCheckTimes\":1}");
    Run(u"12", u"alice", u"secret1");

    log.ExpectNone({platform::Utf16ToUtf8(alice.authToken), "secret1", "secret4", "JBSWY3DPEHPK3PXP",
                    platform::Utf16ToUtf8(middle), "987123", "RCSECRET00000001", "POLLSECRETKEY"});
    EXPECT_NE(log.Text().find("\"supportOtpCode\":\"***\""), std::string::npos);
}

// The context keeps what was typed: a run made again on it (the one-time-password submission) sends the
// same credentials, escaped once, in the encrypted and in the clear body.
TEST_F(SignInTest, ARunMadeAgainOnTheSameContextEscapesOnce) {
    ASSERT_TRUE(
        world.Open(uR"({"customers":["12"],
        "accounts":[{"customerId":"12","name":"corp\\a\"l/ice","password":"p\\w\"1/x"}]})"));
    for (const bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "clear" : "encrypted");
        if (clear) Script(u"/s/mobile/pubkey/obtain", u"{\"key\":\"\"}");
        SignInContext c;
        c.customerId = u"12";
        c.userName = u"corp\\a\"l/ice";
        c.password = u"p\\w\"1/x";
        for (int run = 0; run < 2; ++run) {
            c.authToken.clear();
            runApiSignIn(c);
            EXPECT_EQ(c.resultCode, 0) << "run " << run << ": " << platform::Utf16ToUtf8(c.message);
            EXPECT_EQ(c.userName, u"corp\\a\"l/ice");
            EXPECT_EQ(c.password, u"p\\w\"1/x");
        }
        if (clear) {
            EXPECT_EQ(LastBody(u"/api/mobile/v2/auth").rfind("{\"password\":\"p\\\\w\\\"1\\/x\",", 0), 0u);
        }
    }
}

// The typed one-time code and the service's middle token are values of their own in the request, whatever
// they hold.
TEST_F(SignInTest, OneTimeCodeAndMiddleTokenAreEscaped) {
    SignInContext c;
    c.customerId = u"12";
    c.userName = u"otto";
    c.password = u"secret4";
    runApiSignIn(c);
    c.otpMiddleToken = otpMiddleToken.Get() + u"\"";
    c.otpCode = u"12\"34\\";
    runApiSignIn(c);
    const std::string body = LastBody(u"/api/mobile/v2/auth");
    EXPECT_NE(body.find(",\"supportOtpCode\":\"12\\\"34\\\\\",\"otpMiddleToken\":\"otp-"), std::string::npos)
        << body;
    // The service read the body (no "no JSON" refusal) and refused the step it names.
    EXPECT_EQ(c.resultCode, 401) << platform::Utf16ToUtf8(c.message);
}

// The middle token is JSON text as cut from the answer: written with an escape, it still names the step the
// service handed out (a wrong code is refused as wrong, not as an unknown step).
TEST_F(SignInTest, MiddleTokenGoesAsCutFromTheAnswer) {
    struct Case {
        const char* name;
        bool escaped;  // the token written with a Unicode escape for its hyphen
        bool known;    // the service knows the step
    } cases[] = {{"as handed out", false, true}, {"with an escape", true, true}, {"unknown", false, false}};
    std::u16string wrongCodeText;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SignInContext c;
        c.customerId = u"12";
        c.userName = u"otto";
        c.password = u"secret4";
        runApiSignIn(c);
        std::u16string middle = otpMiddleToken.Get();
        ASSERT_EQ(middle.rfind(u"otp-", 0), 0u);
        if (k.escaped) middle.replace(3, 1, uR"(\u002d)");
        if (!k.known) middle += u"0";
        c.otpMiddleToken = middle;
        c.otpCode = u"12345x";  // never a valid code: refused as wrong
        runApiSignIn(c);
        EXPECT_EQ(c.resultCode, 401);
        if (wrongCodeText.empty()) wrongCodeText = c.message;
        EXPECT_EQ(c.message == wrongCodeText, k.known) << platform::Utf16ToUtf8(c.message);
    }
}

// However long the service asks the client to wait, one sign-in run waits at most ten minutes in all.
TEST_F(SignInTest, TheWholeWaitOfARunIsBounded) {
    Script(u"/pollcheck", u"{\"resultCode\":1}");
    Script(u"/api/mobile/v2/auth", u"{\"requestIdForPoll\":\"r1\",\"authResultCheckUrl\":\"" + world.base +
                                       u"/pollcheck\",\"authResultCheckInterval\":60,"
                                       u"\"authResultCheckTimes\":600}");
    g_pollSleptMs = 0;
    const SignInContext c = Run(u"12", u"alice", u"secret1");
    EXPECT_EQ(c.resultCode, 4082);
    EXPECT_LE(g_pollSleptMs.load(), 600000u);
    EXPECT_LE(Count(u"/pollcheck"), 120);
}

TEST_F(SignInTest, AuthUrlDerivation) {
    struct Case {
        const char16_t* answer;
        const char16_t* url;
    };
    const Case cases[] = {
        {u"{\"orchDomain\":\"Orch.Example.TEST/\"}", u"https://orch.example.test/api/mobile/v2/auth"},
        {u"{\"orchDomain\":\"10.1.2.3\"}", u"http://10.1.2.3/api/mobile/v2/auth"},
        {u"{\"orchDomain\":\"http://a.test:8080\"}", u"http://a.test:8080/api/mobile/v2/auth"},
        {u"{}", u"https:///api/mobile/v2/auth"},
        {u"", u""},
    };
    for (const Case& k : cases) EXPECT_EQ(authUrlFromDiscovery(k.answer), k.url);
}

}  // namespace
}  // namespace velora::test
