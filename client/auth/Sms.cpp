// SMS workers. They never touch the dialog directly: codes are posted, texts sent. Every loop here is
// bounded, whatever counts and intervals the service hands out.
#include "auth/Sms.h"

#include <algorithm>
#include <atomic>

#include "auth/AccountHelpers.h"
#include "auth/AuthText.h"
#include "auth/ErrorCatalogue.h"
#include "auth/PasswordSignIn.h"
#include "auth/SignInAnswer.h"
#include "core/DeviceInfo.h"
#include "core/Format.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/SecretMask.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "res/MessageIds.h"

namespace velora {

CSharedText smsAccountName;

namespace {

// The service decides how often and how slowly the client polls; these keep a hostile or broken answer
// from holding the worker while a person waits at the dialog: an interval counts as at most a minute,
// and one verification (every round of checks and re-sends together) pauses at most 10 minutes, makes
// at most 120 checks and at most 20 rounds. Whatever comes first ends it with the time-out result.
constexpr int32_t kMaxPollChecks = 120;
constexpr int32_t kMaxPollIntervalSeconds = 60;
constexpr uint32_t kMaxPollWaitMs = 10 * 60 * 1000;
constexpr int kMaxVerifyRounds = 20;

void SmsFailureReport(const std::string& answer, uint32_t result, uint32_t status,
                      platform::WindowHandle dialog) {
    const std::u16string wide = Utf8ToUtf16(answer);
    const FailedRequest failed = ClassifyFailedRequest(result, status, wide);
    if (failed.kind == FailedRequest::Kind::BareStatus && !wide.empty()) LogDebug(MaskSecrets(wide));
    if (failed.kind != FailedRequest::Kind::ServerMessage || failed.text.empty()) {
        PostCode(dialog, UM_SMS_VERIFY_RESULT, failed.code);
    } else if (failed.text.find(u"BindDevice") != std::u16string::npos) {
        smsAccountName.Set(GetStringField(wide, u"accountName", u""));
        PostCode(dialog, UM_SMS_VERIFY_RESULT, kSmsBindDevice);
    } else {
        SendTextMessage(dialog, UM_SMS_VERIFY_RESULT, failed.code, failed.text);
    }
}

void StoreAdmissionRules(std::u16string_view answer) {
    const std::u16string processes = GetStringField(answer, u"windowsProcessNameExpression", u"");
    SetSetting(u"ProcessList", processes);
    if (!processes.empty()) LogFormatMessageId(kMsgProcessRule, processes);
    const std::u16string versions = GetArrayField(answer, u"windowsVersionList", u"");
    SetSetting(u"OsList", versions);
    if (!versions.empty()) LogFormatMessageId(kMsgAllowedSystems, versions);
}

}  // namespace

std::u16string SmsSendUrl(std::u16string_view authUrl) {
    return CutBeforeLast(authUrl, u"/") + u"/verification/send";
}

std::u16string SmsStatusUrl(std::u16string_view sendUrl) {
    return CutBeforeFirst(sendUrl, u"/api") + u"/api/smsStatus";
}

void sendSmsCode(const SmsRequest& request) {
    const std::u16string serial = GetInstallationSerial();
    // Escaped as the sign-in escapes it, before encryption too: the service reads both forms alike.
    const std::u16string userName = JsonEscape(request.userName);
    const std::u16string encrypted = encryptCredential(userName);
    // The number is JSON text as cut from the service's answer: its escapes go as they are.
    const std::u16string phone = JsonTextAsCut(request.phoneNumber);
    const std::u16string body =
        encrypted.empty()
            ? FormatText(u"{\"phoneNumber\":\"%s\",\"customerId\":%s,\"accountName\":\"%s\"}", phone,
                         request.customerId, userName)
            : FormatText(u"{\"phoneNumber\":\"%s\",\"customerId\":%s,\"encryptAccountName\":\"%s\"}", phone,
                         request.customerId, encrypted);
    LogFormat(u"SMS post params: %s", body);
    const std::u16string middleHeader =
        request.smsMiddleToken.empty() ? std::u16string() : u"middleToken:" + request.smsMiddleToken;

    PostCode(request.dialog, UM_SMS_SEND_RESULT, kSmsSending);
    // Like every request to the service, the send carries the device's lines ("sn:", "type:windows").
    const ServiceAnswer reply =
        PostJson({.url = request.url, .body = body, .serial = serial, .ownLine = middleHeader});
    const uint32_t result = reply.transport;
    const uint32_t status = reply.status;
    const std::string& answer = reply.bytes;
    if (result != 0 || status != 200) {
        LogMessageId(kMsgSmsSendFailed);
        LogFormatMessageId(kMsgSmsRequestResult, result, status);
        ReportWorkerFailure(request.dialog, UM_SMS_SEND_RESULT, result, status, answer);
        return;
    }

    const std::u16string id = GetStringField(Utf8ToUtf16(answer), u"id", u"");
    if (id.empty()) return;
    const std::u16string statusUrl = SmsStatusUrl(request.url);
    const std::u16string statusBody = FormatText(u"{\"id\":\"%s\"}", JsonTextAsCut(id));
    for (int check = 0; check < kSmsStatusChecks; ++check) {
        const ServiceAnswer statusReply = PostJson({.url = statusUrl, .body = statusBody});
        const uint32_t checkStatus = statusReply.status;
        const std::u16string& wide = statusReply.text;
        LogFormatMessageId(kMsgSmsStatusAnswer, checkStatus, wide);
        const int32_t code = GetIntField(wide, u"code", kSmsNoCode);
        if (code != kSmsStillSending) {
            PostCode(request.dialog, UM_SMS_SEND_RESULT, static_cast<uint32_t>(code));
            return;
        }
        // No pause after the last check: the worker ends silently then.
        if (check + 1 < kSmsStatusChecks) platform::Pause(kSmsStatusIntervalMs);
    }
}

void verifySmsCode(const SmsRequest& request) {
    smsAccountName.Clear();
    LogMessageId(kMsgPasswordSignInStarted);
    // The code is a secret while it is valid: the log, which the diagnosis bundle uploads, never has it.
    LogFormat(u"CustomerId %s accountName %s code %s", request.customerId, request.userName, u"***");
    const std::u16string serial = GetInstallationSerial();
    const std::u16string code = JsonEscape(request.code);
    // The login window hands over what was typed; the request carries it escaped.
    const std::u16string userName = JsonEscape(request.userName);
    const std::u16string password = JsonEscape(request.password);
    int32_t checksLeft = kMaxPollChecks;
    uint32_t waitLeftMs = kMaxPollWaitMs;

    std::u16string requestId;
    for (int round = 0; round < kMaxVerifyRounds; ++round) {
        std::u16string body =
            requestId.empty()
                ? FormatText(
                      u"{\"supportPollByRequestId\":true,\"password\":\"%s\",\"customerId\":%s,"
                      u"\"accountName\":\"%s\", \"support2FA\":true, \"verification\":\"%s\"}",
                      password, request.customerId, userName, code)
                : FormatText(
                      u"{\"requestIdForPoll\":\"%s\",\"supportPollByRequestId\":true,\"password\":\"%s\","
                      u"\"customerId\":%s,\"accountName\":\"%s\", \"support2FA\":true, "
                      u"\"verification\":\"%s\"}",
                      JsonTextAsCut(requestId), password, request.customerId, userName, code);
        if (platform::WindowExists(request.loginWindow)) appendDeviceInfo(body, serial);

        const ServiceAnswer reply = PostJson({.url = request.url, .body = body, .serial = serial});
        const uint32_t result = reply.transport;
        const uint32_t status = reply.status;
        const std::string& answer = reply.bytes;
        if (result != 0 || status != 200) {
            LogMessageId(kMsgSignInRequestFailed);
            LogFormatMessageId(kMsgResultStatus, result, status);
            SmsFailureReport(answer, result, status, request.dialog);
            return;
        }
        const std::u16string wide = Utf8ToUtf16(answer);
        LogDebug(MaskSecrets(wide));
        const std::u16string token = ReadAuthToken(wide);
        requestId = GetStringField(wide, u"requestIdForPoll", u"");
        const std::u16string checkUrl = GetStringField(wide, u"authResultCheckUrl", u"");
        const int32_t interval =
            std::clamp(GetIntField(wide, u"authResultCheckInterval", 0), 0, kMaxPollIntervalSeconds);
        int32_t checks = GetIntField(wide, u"authResultCheckTimes", 0);
        StoreAdmissionRules(wide);

        if (!token.empty()) {
            LogMessageId(kMsgSmsVerified);
            SetSetting(u"AuthToken", token);
            PostCode(request.dialog, UM_SMS_VERIFY_RESULT, 0);
            return;
        }
        if (requestId.empty() || checkUrl.empty()) {
            PostCode(request.dialog, UM_SMS_VERIFY_RESULT, kSmsNoCode);
            return;
        }
        bool approved = false;
        while (checks > 0 && checksLeft > 0) {
            --checksLeft;
            const ServiceAnswer checkReply = PostJson({.url = checkUrl, .serial = serial});
            const uint32_t checkResult = checkReply.transport;
            const uint32_t checkStatus = checkReply.status;
            const std::string& checkAnswer = checkReply.bytes;
            LogDebug(MaskSecrets(Utf8ToUtf16(checkAnswer)));
            if (checkResult != 0 || checkStatus != 200) {
                LogMessageId(kMsgSignInApprovalCheckFailed);
                LogFormatMessageId(kMsgResultStatus, checkResult, checkStatus);
                SmsFailureReport(checkAnswer, checkResult, checkStatus, request.dialog);
                return;
            }
            if (GetIntField(Utf8ToUtf16(checkAnswer), u"resultCode", -1) == 0) {
                approved = true;
                break;
            }
            --checks;
            const uint32_t pauseMs = static_cast<uint32_t>(interval) * 1000u;
            if (pauseMs > waitLeftMs) break;
            waitLeftMs -= pauseMs;
            if (pauseMs > 0) platform::Pause(pauseMs);
        }
        if (!approved) {
            PostCode(request.dialog, UM_SMS_VERIFY_RESULT, kSmsPollTimedOut);
            return;
        }
    }
    // The service kept asking for another round: treat it as a time-out rather than loop for ever.
    PostCode(request.dialog, UM_SMS_VERIFY_RESULT, kSmsPollTimedOut);
}

std::unique_ptr<platform::Thread> StartSendSmsCode(SmsRequest request, uint32_t& error) {
    platform::ThreadCreation created = platform::StartThread([request = std::move(request)]() -> uint32_t {
        sendSmsCode(request);
        return 0;
    });
    error = created.error;
    return std::move(created.thread);
}

std::unique_ptr<platform::Thread> StartVerifySmsCode(SmsRequest request, uint32_t& error) {
    platform::ThreadCreation created = platform::StartThread([request = std::move(request)]() -> uint32_t {
        verifySmsCode(request);
        return 0;
    });
    error = created.error;
    return std::move(created.thread);
}

}  // namespace velora
