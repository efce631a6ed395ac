// SMS workers end to end against the stand-in over HTTPS: the send with its delivery-status polling,
// the verification with its polling, and what reaches the dialog as window messages.
#include <gtest/gtest.h>

#include "auth/Sms.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "support/FactorFixture.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora {
namespace {

using test::CRecordingWindow;
using test::FactorFixture;
using test::g_factorSleeps;
using test::g_factorSleptMs;
using test::RecordedMessage;
using test::U8;

constexpr uint32_t kWaitMs = 60000;

std::u16string SmsData(int statusPending, std::u16string_view extra = u"") {
    return u"{\"factors\":{\"sms\":{\"statusPending\":" +
           platform::Utf8ToUtf16(std::to_string(statusPending)) +
           u",\"code\":\"246810\",\"accounts\":[{\"accountName\":\"bob\",\"password\":\"pw-1\","
           u"\"phoneNumber\":\"13800000000\",\"token\":\"sms-token-1\","
           u"\"windowsProcessNameExpression\":\"a.exe && b.exe\"" +
           std::u16string(extra) + u"}]}}}";
}

class SmsTest : public FactorFixture {
protected:
    SmsRequest Request() const {
        SmsRequest r;
        r.customerId = u"1234";
        r.userName = u"bob";
        r.url = SmsSendUrl(authUrl_);
        r.phoneNumber = u"13800000000";
        r.smsMiddleToken = u"mt-1";
        r.dialog = window_.Handle();
        return r;
    }
    SmsRequest VerifyRequest(std::u16string_view code) const {
        SmsRequest r = Request();
        r.url = authUrl_;
        r.code = std::u16string(code);
        r.password = u"pw-1";
        return r;
    }
    // Runs a worker on its own thread, as the dialog does, and takes what it reported.
    std::vector<RecordedMessage> Run(std::unique_ptr<platform::Thread> thread) {
        EXPECT_TRUE(thread);
        if (!thread) return {};
        EXPECT_TRUE(window_.PumpUntil([&] { return thread->Wait(0); }, kWaitMs)) << "the worker did not end";
        window_.WaitFor(0, 50);
        return window_.Take();
    }
    std::vector<RecordedMessage> Send() {
        uint32_t error = 0;
        return Run(StartSendSmsCode(Request(), error));
    }
    std::vector<RecordedMessage> Verify(std::u16string_view code) {
        uint32_t error = 0;
        return Run(StartVerifySmsCode(VerifyRequest(code), error));
    }

    CRecordingWindow window_;
};

void ExpectCodes(const std::vector<RecordedMessage>& messages, uint32_t message,
                 const std::vector<uintptr_t>& codes) {
    std::vector<uintptr_t> seen;
    for (const RecordedMessage& m : messages) {
        EXPECT_EQ(m.message, message);
        seen.push_back(m.wParam);
    }
    EXPECT_EQ(seen, codes);
}

TEST(SmsUrls, AreCutFromTheAuthUrl) {
    EXPECT_EQ(SmsSendUrl(u"https://a.example/t/x/api/mobile/v2/auth"),
              u"https://a.example/t/x/api/mobile/v2/verification/send");
    EXPECT_EQ(SmsStatusUrl(u"https://a.example/t/x/api/mobile/v2/verification/send"),
              u"https://a.example/t/x/api/smsStatus");
    // No "/api" at all: the whole URL stays in front.
    EXPECT_EQ(SmsStatusUrl(u"https://a.example/send"), u"https://a.example/send/api/smsStatus");
}

// The number is JSON text as cut from the sign-in answer: its escapes go back as they are, never doubled.
TEST_F(SmsTest, SendCarriesTheNumberAsCutFromTheAnswer) {
    UseTenant(SmsData(0));
    SmsRequest r = Request();
    r.phoneNumber = uR"(+86 \"138\" 0000)";
    uint32_t error = 0;
    ExpectCodes(Run(StartSendSmsCode(r, error)), UM_SMS_SEND_RESULT, {kSmsSending, 0});
    EXPECT_EQ(sim_.Last(TenantPath(u"/api/mobile/v2/verification/send"), u"body"),
              R"({"phoneNumber":"+86 \"138\" 0000","customerId":1234,"accountName":"bob"})");
}

TEST_F(SmsTest, SendPollsTheStatusUntilDelivered) {
    UseTenant(SmsData(2));
    const auto messages = Send();
    ExpectCodes(messages, UM_SMS_SEND_RESULT, {kSmsSending, 0});
    for (const auto& m : messages) EXPECT_FALSE(m.sent);
    EXPECT_EQ(g_factorSleeps.load(), 2);
    EXPECT_EQ(g_factorSleptMs.load(), 2u * kSmsStatusIntervalMs);

    const std::u16string sendPath = TenantPath(u"/api/mobile/v2/verification/send");
    EXPECT_EQ(sim_.Last(sendPath, u"body"),
              "{\"phoneNumber\":\"13800000000\",\"customerId\":1234,\"accountName\":\"bob\"}");
    const std::string headers = sim_.Last(sendPath, u"headers");
    EXPECT_TRUE(test::HasHeader(headers, "middleToken", "mt-1")) << headers;
    EXPECT_TRUE(test::HasHeader(headers, "sn", test::GetInstallationSerialText())) << headers;
    EXPECT_EQ(RequestCount(u"/api/smsStatus"), "3");
    EXPECT_EQ(sim_.Last(TenantPath(u"/api/smsStatus"), u"body"), "{\"id\":\"sms-1\"}");
}

TEST_F(SmsTest, DeliveryStillPendingAfterFiveChecksEndsSilently) {
    UseTenant(SmsData(50));
    ExpectCodes(Send(), UM_SMS_SEND_RESULT, {kSmsSending});
    EXPECT_EQ(RequestCount(u"/api/smsStatus"), "5");
    EXPECT_EQ(g_factorSleeps.load(), 4);
}

TEST_F(SmsTest, StatusAnswersDecideTheReportedCode) {
    struct Case {
        const char16_t* finalAnswer;
        uintptr_t expected;
    } cases[] = {
        {u"{}", kSmsNoCode},                         // no "code": 4081
        {u"{\"code\":\"0\"}", 0},                    // a quoted number reads as 0
        {u"{\"code\":424,\"message\":\"x\"}", 424},  // a service error code is passed on
    };
    for (const Case& c : cases) {
        UseTenant(u"{\"factors\":{\"sms\":{\"finalAnswer\":" + std::u16string(c.finalAnswer) + u"}}}");
        ExpectCodes(Send(), UM_SMS_SEND_RESULT, {kSmsSending, c.expected});
    }
}

TEST_F(SmsTest, SendFailuresReportStatusOrTransportError) {
    UseTenant(u"{\"factors\":{\"sms\":{\"sendFailure\":{\"status\":500,\"body\":{\"error\":\"boom\"}}}}}");
    ExpectCodes(Send(), UM_SMS_SEND_RESULT, {kSmsSending, 500});
    // An answer without an "id" ends the worker without a further message.
    UseTenant(u"{\"factors\":{\"sms\":{\"sendFailure\":{\"status\":200,\"body\":{\"noid\":1}}}}}");
    ExpectCodes(Send(), UM_SMS_SEND_RESULT, {kSmsSending});
    EXPECT_EQ(RequestCount(u"/api/smsStatus"), "0");
    // Nobody listening: the transport error is reported.
    SmsRequest r = Request();
    r.url = u"https://127.0.0.1:1/api/mobile/v2/verification/send";
    uint32_t error = 0;
    const auto messages = Run(StartSendSmsCode(r, error));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].wParam, 12029u);
}

TEST_F(SmsTest, VerifiedCodeStoresTheTokenAndTheAdmissionRules) {
    UseTenant(SmsData(0));
    Send();
    const auto messages = Verify(u"246810");
    ExpectCodes(messages, UM_SMS_VERIFY_RESULT, {0});
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"sms-token-1");
    EXPECT_EQ(GetSetting(u"ProcessList", u""), u"a.exe && b.exe");
    const std::string body = sim_.Last(TenantPath(u"/api/mobile/v2/auth"), u"body");
    EXPECT_EQ(
        body,
        "{\"supportPollByRequestId\":true,\"password\":\"pw-1\",\"customerId\":1234,\"accountName\":\"bob\", "
        "\"support2FA\":true, \"verification\":\"246810\"}");
    const std::string headers = sim_.Last(TenantPath(u"/api/mobile/v2/auth"), u"headers");
    EXPECT_TRUE(test::HasHeader(headers, "type", "windows")) << headers;
    EXPECT_EQ(headers.find("X-KX-AUTH-HEADER"), std::string::npos) << "the verification carries no token";
    EXPECT_NE(FactorState().find("sms-token-1"), std::string::npos);
}

TEST_F(SmsTest, WrongCodeReportsTheStatusAndKeepsTheStoredToken) {
    UseTenant(SmsData(0));
    SetSetting(u"AuthToken", u"earlier");
    Send();
    const auto messages = Verify(u"000000");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, UM_SMS_VERIFY_RESULT);
    EXPECT_EQ(messages[0].wParam, 400u);
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"earlier");
}

TEST_F(SmsTest, VerificationPollsUntilApprovedOrTimesOut) {
    struct Case {
        const char16_t* poll;
        uintptr_t expected;
        int checks;
        uint64_t sleptMs;
    } cases[] = {
        {u",\"pollPending\":2,\"pollTimes\":5,\"pollInterval\":1", 0, 3, 2000},
        {u",\"pollPending\":9,\"pollTimes\":3,\"pollInterval\":2", kSmsPollTimedOut, 3, 6000},
        {u",\"pollPending\":9,\"pollTimes\":5,\"pollInterval\":0", kSmsPollTimedOut, 5, 0},
        {u",\"pollPending\":9,\"pollTimes\":3,\"pollInterval\":-4", kSmsPollTimedOut, 3, 0},
        {u",\"pollPending\":0,\"pollTimes\":0", kSmsPollTimedOut, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.poll));
        UseTenant(SmsData(0, c.poll));
        Send();
        g_factorSleptMs = 0;
        ExpectCodes(Verify(u"246810"), UM_SMS_VERIFY_RESULT, {c.expected});
        const std::string state = FactorState();
        EXPECT_EQ(g_factorSleptMs.load(), c.sleptMs);
        std::string polls = "0";
        if (c.checks > 0) {
            // The check URL is per request; count the checks through the record of the tenant.
            CHttpClient client;
            std::string answer;
            uint32_t status = 0;
            client.GetText(sim_.Url("http") + u"/_sim/stats?prefix=" + TenantPath(u"/_factors/smsCheck/"),
                           answer, status);
            polls = answer;
        }
        if (c.checks > 0) {
            EXPECT_NE(polls.find("\"count\":" + std::to_string(c.checks) + ","), std::string::npos) << polls;
        }
    }
}

// The service refuses a device that is not bound with code 401 and "mobileBindDevice":false; the
// verification ends with the binding result and keeps the account name for the notice.
TEST_F(SmsTest, UnboundDeviceEndsWithTheBindingResult) {
    UseTenant(SmsData(0, u",\"bindDevice\":true"));
    Send();
    ExpectCodes(Verify(u"246810"), UM_SMS_VERIFY_RESULT, {kSmsBindDevice});
    EXPECT_EQ(smsAccountName.Get(), u"bob");
}

// A token counts only where the answer has "X-KX-AUTH-HEADER" as a key; the word inside another value
// grants nothing.
TEST_F(SmsTest, OnlyATokenKeyGrantsAToken) {
    struct Case {
        const char16_t* answer;
        uintptr_t code;
        const char16_t* token;  // stored afterwards
    } cases[] = {
        {u"{\"note\":\"X-KX-AUTH-HEADER\",\"code\":\"0\"}", kSmsNoCode, u"earlier"},
        {u"{\"message\":\"no X-KX-AUTH-HEADER here\"}", kSmsNoCode, u"earlier"},
        {u"{\"note\":\"X-KX-AUTH-HEADER\",\"X-KX-AUTH-HEADER\":\"real-1\"}", 0, u"real-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.answer));
        UseTenant(SmsData(0));
        SetSetting(u"AuthToken", u"earlier");
        Send();
        sim_.Answer(u"{\"path\":\"" + TenantPath(u"/api/mobile/v2/auth") + u"\",\"status\":200,\"body\":\"" +
                    JsonEscape(c.answer) + u"\"}");
        ExpectCodes(Verify(u"246810"), UM_SMS_VERIFY_RESULT, {c.code});
        EXPECT_EQ(GetSetting(u"AuthToken", u""), c.token);
    }
}

// However long the service asks the dialog to wait, one verification waits at most ten minutes in all.
TEST_F(SmsTest, TheWholeWaitOfAVerificationIsBounded) {
    UseTenant(SmsData(0, u",\"pollPending\":100000,\"pollTimes\":100,\"pollInterval\":60"));
    Send();
    g_factorSleptMs = 0;
    ExpectCodes(Verify(u"246810"), UM_SMS_VERIFY_RESULT, {kSmsPollTimedOut});
    EXPECT_LE(g_factorSleptMs.load(), 600000u);
    EXPECT_GT(g_factorSleptMs.load(), 0u);
}

// The typed code, the token and the credentials of a verification stay out of the log; what the user typed
// reaches the service escaped once.
TEST_F(SmsTest, VerificationLogsNoSecretAndEscapesWhatWasTyped) {
    UseTenant(
        u"{\"factors\":{\"sms\":{\"code\":\"246810\",\"accounts\":[{\"accountName\":\"b\\\"ob\","
        u"\"password\":\"p\\\\w\",\"phoneNumber\":\"13800000000\",\"token\":\"sms-token-9\"}]}}}");
    test::CLogCapture log;
    Send();
    SmsRequest r = VerifyRequest(u"246810");
    r.userName = u"b\"ob";
    r.password = u"p\\w";
    uint32_t error = 0;
    ExpectCodes(Run(StartVerifySmsCode(r, error)), UM_SMS_VERIFY_RESULT, {0});
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"sms-token-9");
    log.ExpectNone({"246810", "sms-token-9", "p\\w", "p\\\\w"});
}

}  // namespace
}  // namespace velora
