// The password and token sign-in against the auth URL, and the interpretation of its answers.
#include "auth/PasswordSignIn.h"

#include <algorithm>
#include <atomic>

#include "auth/AuthServer.h"
#include "auth/AuthText.h"
#include "auth/ErrorCatalogue.h"
#include "auth/SignInAnswer.h"
#include "auth/SignInState.h"
#include "core/CryptoHelpers.h"
#include "core/DeviceInfo.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/SecretMask.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

// The service decides how often and how long the client polls; these bounds keep a broken or hostile
// answer from pinning the sign-in worker while a person waits at the window: a negative interval is no
// pause (not a 49-day sleep), an interval above a minute counts as a minute, and one whole sign-in run
// (every round of checks and re-sends together) pauses at most 10 minutes, makes at most 120 checks and
// at most 20 re-sends. Whatever comes first ends the run with the time-out result.
constexpr int32_t kMaxPollIntervalSeconds = 60;
constexpr uint32_t kMaxPollWaitMs = 10 * 60 * 1000;
constexpr int32_t kMaxPollChecks = 120;
constexpr int kMaxResends = 20;

// What is left of one run's polling allowance.
struct PollBudget {
    int32_t checks = kMaxPollChecks;
    uint32_t waitMs = kMaxPollWaitMs;
};

constexpr char16_t kPasswordEncrypted[] =
    u"{\"encryptPassword\":\"%s\",\"customerId\":%s,\"encryptAccountName\":\"%s\", \"support2FA\":true, "
    u"\"supportPollByRequestId\":true,\"agreeToPrivacy\":%s}";
constexpr char16_t kPasswordClear[] =
    u"{\"password\":\"%s\",\"customerId\":%s,\"accountName\":\"%s\", \"support2FA\":true, "
    u"\"supportPollByRequestId\":true,\"agreeToPrivacy\":%s}";
constexpr char16_t kPasswordEncryptedPoll[] =
    u"{\"encryptPassword\":\"%s\",\"customerId\":%s,\"encryptAccountName\":\"%s\", "
    u"\"requestIdForPoll\":\"%s\", "
    u"\"support2FA\":true, \"supportPollByRequestId\":true,\"agreeToPrivacy\":%s}";
constexpr char16_t kPasswordClearPoll[] =
    u"{\"password\":\"%s\",\"customerId\":%s,\"accountName\":\"%s\", \"requestIdForPoll\":\"%s\", "
    u"\"support2FA\":true, \"supportPollByRequestId\":true,\"agreeToPrivacy\":%s}";
constexpr char16_t kTokenEncrypted[] =
    u"{\"customerId\":%s,\"encryptAccountName\":\"%s\", \"support2FA\":true, "
    u"\"supportPollByRequestId\":true, "
    u"\"agreeToPrivacy\":%s}";
constexpr char16_t kTokenClear[] =
    u"{\"customerId\":%s,\"accountName\":\"%s\", \"support2FA\":true, \"supportPollByRequestId\":true, "
    u"\"agreeToPrivacy\":%s}";
constexpr char16_t kTokenEncryptedPoll[] =
    u"{\"customerId\":%s,\"encryptAccountName\":\"%s\", \"requestIdForPoll\":\"%s\",\"support2FA\":true, "
    u"\"supportPollByRequestId\":true,\"agreeToPrivacy\":%s}";
constexpr char16_t kTokenClearPoll[] =
    u"{\"customerId\":%s,\"accountName\":\"%s\", \"requestIdForPoll\":\"%s\",\"support2FA\":true, "
    u"\"supportPollByRequestId\":true,\"agreeToPrivacy\":%s}";

// The serial of an "sn:" line.
std::u16string SerialOf(std::u16string_view snHeader) {
    return std::u16string(snHeader.starts_with(u"sn:") ? snHeader.substr(3) : snHeader);
}

bool IsOtpCodePage(int32_t page) {
    return page == PageOtpCode || page == PageOtpCodeAfterBind;
}

void ClearOtpFields(SignInContext& context) {
    context.otpMiddleToken.clear();
    context.otpCode.clear();
}

std::u16string StripBrace(std::u16string& body) {
    if (!body.empty() && body.back() == u'}') body.pop_back();
    return body;
}

// Waits for an out-of-band approval. True when the caller should send the request again.
bool PollForApproval(std::u16string_view checkUrl, int32_t checks, int32_t interval,
                     std::u16string_view snHeader, SignInContext& context, PollBudget& budget) {
    const uint32_t pauseMs = static_cast<uint32_t>(std::clamp(interval, 0, kMaxPollIntervalSeconds)) * 1000u;
    while (checks > 0 && budget.checks > 0) {
        --budget.checks;
        const ServiceAnswer reply = PostJson({.url = std::u16string(checkUrl), .serial = SerialOf(snHeader)});
        const uint32_t result = reply.transport;
        const uint32_t status = reply.status;
        const std::u16string& answer = reply.text;
        LogDebug(LogSnippet(MaskSecrets(answer)));
        if (result != 0 || status != 200) {
            LogMessageId(kMsgSignInApprovalCheckFailed);
            LogFormatMessageId(kMsgResultStatus, static_cast<int32_t>(result), static_cast<int32_t>(status));
            reportRequestFailure(answer, result, status, context);
            return false;
        }
        if (GetIntField(answer, u"resultCode", -1) == 0) return true;
        --checks;
        if (pauseMs > budget.waitMs) break;
        budget.waitMs -= pauseMs;
        if (pauseMs > 0) platform::Pause(pauseMs);
    }
    failSignIn(context, kSignInPollTimedOut, std::u16string(kText2039PollTimedOut));
    return false;
}

}  // namespace

namespace {

void HandleAnswer(uint32_t result, uint32_t status, std::u16string_view answer, std::u16string_view snHeader,
                  bool external, SignInContext& context, std::u16string& requestIdForPoll, bool& resend,
                  PollBudget& budget) {
    resend = false;
    if (result != 0 || status != 200) {
        ClearOtpFields(context);
        LogMessageId(kMsgSignInRequestFailed);
        LogFormatMessageId(kMsgResultStatus, static_cast<int32_t>(result), static_cast<int32_t>(status));
        const std::u16string recover = GetObjectField(answer, u"otpRecoverCode", u"");
        if (!recover.empty()) {
            otpRecoverCode.Set(recover);
            StoreSetting(u"OtpRecover", recover);
        }
        reportRequestFailure(answer, result, status, context);
        return;
    }
    LogMessageId(kMsgSignInAnswerReceived);
    LogDebug(LogSnippet(MaskSecrets(answer)));
    const SignInAnswer a = ParseSignInAnswer(answer);
    const int32_t page = CurrentLoginPage();
    const bool otpCodePage = IsOtpCodePage(page);

    // Apply what the answer carries, whatever the next step.
    if (!otpCodePage) {
        otpMiddleToken.Set(a.otpMiddleToken);
        otpKey.Set(a.otpKey);
        otpAccountName.Set(a.accountName);
    } else if (!a.otpRecoverCode.empty()) {
        otpRecoverCode.Set(a.otpRecoverCode);
    }
    StoreSetting(u"ProcessList", a.processList);
    if (!a.processList.empty()) LogFormatMessageId(kMsgProcessRule, a.processList);
    if ((page == PageCustomerId || page == PageExternal) && !a.accountName.empty()) {
        StoreSetting(u"ThirdPartyUser", a.accountName);
    }
    if (!otpCodePage) {
        StoreSettingInt(u"EnableOuterAuth2", page == PageCustomerId || page == PageExternal ? 1 : 0);
    }
    StoreSetting(u"OsList", a.osList);
    if (!a.osList.empty()) LogFormatMessageId(kMsgAllowedSystems, a.osList);
    if (!a.middleToken.empty()) {
        context.smsMiddleToken = a.middleToken;
        context.resultCode = kSignInNotSupported;
        context.message = std::u16string(kTextNotSupported);
    }

    switch (DecideSignInStep(a, otpCodePage, external)) {
        case SignInStep::SignedIn:
            ClearOtpFields(context);
            LogMessageId(kMsgSignedIn);
            StoreSetting(u"AuthToken", a.token);
            StoreSetting(u"OtpRecover", otpRecoverCode.Get());
            context.authToken = a.token;
            // A token settles the run even when the answer also named an SMS step.
            context.resultCode = 0;
            context.message.clear();
            postSignInResult(context, 0);
            break;
        case SignInStep::OneTimePassword:
            ClearOtpFields(context);
            otpLogin = 1;
            platform::PostWindowMessage(context.notifyWindow, UM_OTP_STEP, 0, 0);
            break;
        case SignInStep::Sms:
            ClearOtpFields(context);
            context.resultCode = kSignInNotSupported;
            context.message = std::u16string(kTextNotSupported);
            LogFormatMessageId(kMsgSmsNeeded, a.phoneNumber);
            platform::SendWindowMessage(context.notifyWindow, UM_SMS_NEEDED, 0,
                                        reinterpret_cast<intptr_t>(a.phoneNumber.c_str()));
            break;
        case SignInStep::Unparsable:
            ClearOtpFields(context);
            failSignIn(context, kSignInUnparsable, std::u16string(kText2014Unparsable));
            break;
        case SignInStep::Poll:
            if (PollForApproval(a.checkUrl, a.checkTimes, a.checkInterval, snHeader, context, budget)) {
                requestIdForPoll = a.requestIdForPoll;
                resend = true;
            }
            break;
    }
}

}  // namespace

void handleSignInAnswer(uint32_t result, uint32_t status, std::u16string_view answer,
                        std::u16string_view snHeader, bool external, SignInContext& context,
                        std::u16string& requestIdForPoll, bool& resend) {
    PollBudget budget;
    HandleAnswer(result, status, answer, snHeader, external, context, requestIdForPoll, resend, budget);
}

void passwordSignIn(const std::u16string& serial, SignInContext& context) {
    if (!fetchPublicKey(kPublicKeyPath, context)) return;
    LogMessageId(kMsgPasswordSignInStarted);
    LogFormatMessageId(kMsgCustomerUser, context.customerId, context.userName);
    // Escaped into the request only: the context keeps what was typed, so a run that is made again on
    // it (the one-time-password submission) escapes the same text once more, not its escaped form.
    const std::u16string escapedName = JsonEscape(context.userName);
    if (escapedName != context.userName) {
        LogFormat(u"Username includes CTRL-CHAR, old username %s new username %s", context.userName,
                  escapedName);
    }
    const std::u16string escapedPassword = JsonEscape(context.password);
    if (escapedPassword != context.password) LogDebug(u"Password includes CTRL-CHAR");
    const std::u16string encryptedName = encryptCredential(escapedName);
    const std::u16string encryptedPassword = encryptCredential(escapedPassword);
    const bool encrypted = !encryptedName.empty() && !encryptedPassword.empty();
    const std::u16string& name = encrypted ? encryptedName : escapedName;
    const std::u16string& password = encrypted ? encryptedPassword : escapedPassword;
    const std::u16string snHeader = u"sn:" + serial;
    std::u16string requestId;
    PollBudget budget;
    for (int round = 0; round <= kMaxResends; ++round) {
        const bool tokenSignIn = !context.authToken.empty() && !passwordEdited.load();
        std::u16string authToken;  // a token sign-in carries the auth line
        if (tokenSignIn) {
            otpLogin = GetSettingInt(u"OtpToken", 0);
            authToken = context.authToken;
        } else if (CurrentLoginPage() <= PagePasswordWithExternal) {
            otpLogin = 0;
        }
        const std::u16string agree = agreeToPrivacy.load() ? u"true" : u"false";
        std::u16string body;
        if (tokenSignIn) {
            if (requestId.empty()) {
                body = FormatText(encrypted ? kTokenEncrypted : kTokenClear, context.customerId, name, agree);
            } else {
                body = FormatText(encrypted ? kTokenEncryptedPoll : kTokenClearPoll, context.customerId, name,
                                  JsonTextAsCut(requestId), agree);
            }
        } else if (requestId.empty()) {
            body = FormatText(encrypted ? kPasswordEncrypted : kPasswordClear, password, context.customerId,
                              name, agree);
        } else {
            body = FormatText(encrypted ? kPasswordEncryptedPoll : kPasswordClearPoll, password,
                              context.customerId, name, JsonTextAsCut(requestId), agree);
        }
        appendDeviceInfo(body, serial);
        if (!context.otpMiddleToken.empty() && !body.empty() && body.back() == u'}') {
            StripBrace(body);
            // The code is typed by the user and escaped; the middle token is JSON text as cut from the
            // service's answer and keeps its escapes (a quotation mark in either stays inside its value).
            body += FormatText(u",\"supportOtpCode\":\"%s\",\"otpMiddleToken\":\"%s\"}",
                               JsonEscape(context.otpCode), JsonTextAsCut(context.otpMiddleToken));
        }
        const std::u16string provider = identityProvider.Get();
        if (!provider.empty() && !body.empty() && body.back() == u'}') {
            StripBrace(body);
            body += FormatText(u",\"identityProvider\":\"%s\"}", provider);
        }
        LogDebug(context.authUrl);
        LogDebug(MaskSecrets(body));
        const ServiceAnswer reply =
            PostJson({.url = context.authUrl, .body = body, .serial = serial, .token = authToken});
        bool resend = false;
        HandleAnswer(reply.transport, reply.status, reply.text, snHeader, false, context, requestId, resend,
                     budget);
        if (!resend) return;
    }
    // The service approved again and again without ever granting a token.
    failSignIn(context, kSignInPollTimedOut, std::u16string(kText2039PollTimedOut));
}

}  // namespace velora
