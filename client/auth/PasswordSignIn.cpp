// The password and token sign-in against the auth URL, and the interpretation of its answers.
#include "auth/PasswordSignIn.h"

#include <algorithm>

#include "auth/AuthText.h"
#include "auth/ErrorCatalogue.h"
#include "auth/SignInState.h"
#include "core/CryptoHelpers.h"
#include "core/DeviceInfo.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr std::u16string_view kPublicKeyPath = u"s/mobile/pubkey/obtain";
constexpr std::u16string_view kUnknownCodeFormat = u"2009 Unknown error code(%d)";
constexpr std::u16string_view kAuthFailedFormat = u"Authentication failed with code=%d";
// The service decides how often and how long the client polls; these bounds keep a broken or hostile
// answer from pinning the sign-in worker: a negative interval is no pause (not a 49-day sleep), an
// interval above a minute counts as a minute, and no run makes more checks or re-sends than these.
constexpr int32_t kMaxPollIntervalSeconds = 60;
constexpr int32_t kMaxPollChecks = 600;
constexpr int kMaxResends = 20;

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
constexpr char16_t kDeviceBlock[] =
    u",\"otpLogin\":%s,\"supportOtp\":true,\"deviceId\":\"%s\",\"privacyVersion\":\"%s\",\"traceExtraInfo\":{"
    u"\"internalIp\":\"%s\",\"deviceName\":\"%s\",\"deviceType\":\"%s\",\"opsType\":\"Windows\","
    u"\"opsVersion\":"
    u"\"%s\",\"hostName\":\"%s\",\"sn\":\"%s\"}}";

bool IsOtpCodePage(int32_t page) {
    return page == PageOtpCode || page == PageOtpCodeAfterBind;
}

bool IsTimeOutError(uint32_t result) {
    return result == 12002 || result == 12007 || result == 12029;
}

bool HasMessageKey(std::u16string_view answer) {
    return answer.size() >= 7 && answer.find(u"message") != std::u16string_view::npos;
}

void PostResult(SignInContext& context, int32_t code) {
    platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, static_cast<uintptr_t>(code), 0);
}

void SendResultText(SignInContext& context, int32_t code, const std::u16string& text) {
    platform::SendWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, static_cast<uintptr_t>(code),
                                reinterpret_cast<intptr_t>(text.c_str()));
}

void Fail(SignInContext& context, int32_t code, std::u16string message) {
    context.resultCode = code;
    context.message = std::move(message);
    PostResult(context, code);
}

void ClearOtpFields(SignInContext& context) {
    context.otpMiddleToken.clear();
    context.otpCode.clear();
}

// Step 2 of the common failure report: an error answer of the service that names a message.
void ReportServiceError(std::u16string_view answer, uint32_t status, SignInContext& context) {
    const std::u16string text = serverErrorText(answer);
    context.resultCode = static_cast<int32_t>(status);
    if (text.empty()) {
        Fail(context, static_cast<int32_t>(status),
             FormatText(kUnknownCodeFormat, static_cast<int32_t>(status)));
        return;
    }
    context.message = text;
    if (text.find(u"BindDevice") != std::u16string::npos) {
        otpAccountName.Set(GetStringField(answer, u"accountName", u""));
    }
    SendResultText(context, static_cast<int32_t>(status), text);
}

std::u16string StripBrace(std::u16string& body) {
    if (!body.empty() && body.back() == u'}') body.pop_back();
    return body;
}

// Waits for an out-of-band approval. True when the caller should send the request again.
bool PollForApproval(std::u16string_view checkUrl, int32_t checks, int32_t interval,
                     std::u16string_view snHeader, SignInContext& context) {
    checks = std::min(checks, kMaxPollChecks);
    const uint32_t pauseMs = static_cast<uint32_t>(std::clamp(interval, 0, kMaxPollIntervalSeconds)) * 1000u;
    while (checks > 0) {
        CHttpClient client;
        std::string raw;
        uint32_t status = 0;
        const uint32_t result =
            client.PostText(checkUrl, u"", raw, status, 1, snHeader, u"type:windows", u"");
        const std::u16string answer = Utf8ToUtf16(raw);
        LogDebug(LogSnippet(answer));
        if (result != 0 || status != 200) {
            LogMessageId(kMsgSignInApprovalCheckFailed);
            LogFormatMessageId(kMsgResultStatus, static_cast<int32_t>(result), static_cast<int32_t>(status));
            reportRequestFailure(answer, result, status, context);
            return false;
        }
        if (GetIntField(answer, u"resultCode", -1) == 0) return true;
        --checks;
        if (pauseMs > 0) platform::Pause(pauseMs);
    }
    Fail(context, kSignInPollTimedOut, std::u16string(kPollTimedOutText));
    return false;
}

}  // namespace

std::u16string ServerRoot(std::u16string_view authUrl) {
    std::u16string url = authUrl.empty() ? GetSetting(u"AuthUrl", u"") : std::u16string(authUrl);
    if (const auto api = url.find(u"/api"); api != std::u16string::npos) url.resize(api);
    if (url.empty() || url.back() != u'/') url += u'/';
    return url;
}

bool fetchPublicKey(std::u16string_view path, SignInContext& context) {
    CHttpClient client;
    std::string raw;
    uint32_t status = 0;
    const uint32_t result = client.PostText(ServerRoot(context.authUrl) + std::u16string(path), u"", raw,
                                            status, 1, u"", u"", u"");
    const std::u16string answer = Utf8ToUtf16(raw);
    if (result == 0 && status == 200) {
        serverPublicKey.Set(GetStringField(answer, u"key", u""));
        return true;
    }
    LogFormatMessageId(kMsgPublicKeyFailed, LogSnippet(answer));
    if (result != 0) {
        Fail(context, static_cast<int32_t>(result),
             IsTimeOutError(result) ? std::u16string(kTimeOutText)
                                    : FormatText(kAuthFailedFormat, static_cast<int32_t>(result)));
    } else if (HasMessageKey(answer)) {
        LogDebug(LogSnippet(answer));
        ReportServiceError(answer, status, context);
    } else {
        context.resultCode = static_cast<int32_t>(status);
        context.message = FormatText(kAuthFailedFormat, static_cast<int32_t>(status));
        const std::u16string shown = FormatText(MessageText(kMsgSignInFailed), static_cast<int32_t>(status));
        SendResultText(context, static_cast<int32_t>(status), shown);
    }
    return false;
}

std::u16string encryptCredential(std::u16string_view value) {
    const std::u16string key = serverPublicKey.Get();
    if (key.empty()) return {};
    const std::u16string plain = std::u16string(value) + u"\n" + FormatText(u"%lld", CurrentTimeMillis());
    const std::u16string cipher = RsaEncryptBase64(plain, key);
    if (cipher.empty()) return {};
    return key + u":" + cipher;
}

void appendDeviceInfo(std::u16string& body, std::u16string_view serial) {
    if (body.empty() || body.back() != u'}') return;
    body.pop_back();
    std::u16string model;
    std::u16string manufacturer;
    GetDeviceModel(model, manufacturer);
    body += FormatText(kDeviceBlock, otpLogin.load() == 1 ? u"true" : u"false", deviceId.Get(),
                       JsonEscape(GetSetting(u"PrivacyVersion", u"")), GetLocalIpList(), manufacturer, model,
                       GetOsDisplayName(GetOsShortName()), GetHostName(), serial);
}

void reportRequestFailure(std::u16string_view answer, uint32_t result, uint32_t status,
                          SignInContext& context) {
    if (result != 0) {
        Fail(context, static_cast<int32_t>(result),
             FormatText(kUnknownCodeFormat, static_cast<int32_t>(result)));
        return;
    }
    LogDebug(LogSnippet(answer));
    if (HasMessageKey(answer)) {
        ReportServiceError(answer, status, context);
        return;
    }
    Fail(context, static_cast<int32_t>(status), FormatText(kUnknownCodeFormat, static_cast<int32_t>(status)));
}

void handleSignInAnswer(uint32_t result, uint32_t status, std::u16string_view answer,
                        std::u16string_view snHeader, bool external, SignInContext& context,
                        std::u16string& requestIdForPoll, bool& resend) {
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
    LogDebug(LogSnippet(MaskStringField(MaskStringField(answer, u"X-KX-AUTH-HEADER"), u"middleToken")));
    // The token counts only where the answer has it as a key: the field reader would also take the word
    // "X-KX-AUTH-HEADER" inside some string value and hand out whatever text follows as a token.
    const std::u16string token = answer.find(u"\"X-KX-AUTH-HEADER\":\"") != std::u16string_view::npos
                                     ? GetStringField(answer, u"X-KX-AUTH-HEADER", u"")
                                     : std::u16string();
    const std::u16string phone = GetStringField(answer, u"phoneNumber", u"");
    const std::u16string middleToken = GetStringField(answer, u"middleToken", u"");
    const std::u16string requestId = GetStringField(answer, u"requestIdForPoll", u"");
    const std::u16string checkUrl = GetStringField(answer, u"authResultCheckUrl", u"");
    const int32_t interval = GetIntField(answer, u"authResultCheckInterval", 0);
    const int32_t checks = GetIntField(answer, u"authResultCheckTimes", 0);
    const int32_t page = CurrentLoginPage();
    const std::u16string accountName = GetStringField(answer, u"accountName", u"");

    if (!IsOtpCodePage(page)) {
        otpMiddleToken.Set(GetStringField(answer, u"otpMiddleToken", u""));
        otpKey.Set(GetStringField(answer, u"otpKey", u""));
        otpAccountName.Set(accountName);
    } else {
        const std::u16string recover = GetStringField(answer, u"otpRecoverCode", u"");
        if (!recover.empty()) otpRecoverCode.Set(recover);
    }
    const std::u16string processes = GetStringField(answer, u"windowsProcessNameExpression", u"");
    StoreSetting(u"ProcessList", processes);
    if (!processes.empty()) LogFormatMessageId(kMsgProcessRule, processes);
    if ((page == PageCustomerId || page == PageExternal) && !accountName.empty()) {
        StoreSetting(u"ThirdPartyUser", accountName);
    }
    if (!IsOtpCodePage(page)) {
        StoreSettingInt(u"EnableOuterAuth2", page == PageCustomerId || page == PageExternal ? 1 : 0);
    }
    const std::u16string osList = GetArrayField(answer, u"windowsVersionList", u"");
    StoreSetting(u"OsList", osList);
    if (!osList.empty()) LogFormatMessageId(kMsgAllowedSystems, osList);
    if (!middleToken.empty()) {
        context.smsMiddleToken = middleToken;
        context.resultCode = kSignInNotSupported;
        context.message = std::u16string(kNotSupportedText);
    }

    if (!token.empty()) {
        ClearOtpFields(context);
        LogMessageId(kMsgSignedIn);
        StoreSetting(u"AuthToken", token);
        StoreSetting(u"OtpRecover", otpRecoverCode.Get());
        context.authToken = token;
        // A token settles the run even when the answer also named an SMS step.
        context.resultCode = 0;
        context.message.clear();
        PostResult(context, 0);
    } else if (!otpMiddleToken.Empty() && !IsOtpCodePage(page)) {
        ClearOtpFields(context);
        otpLogin = 1;
        platform::PostWindowMessage(context.notifyWindow, UM_OTP_STEP, 0, 0);
    } else if (!phone.empty() || !middleToken.empty()) {
        ClearOtpFields(context);
        context.resultCode = kSignInNotSupported;
        context.message = std::u16string(kNotSupportedText);
        LogFormatMessageId(kMsgSmsNeeded, phone);
        platform::SendWindowMessage(context.notifyWindow, UM_SMS_NEEDED, 0,
                                    reinterpret_cast<intptr_t>(phone.c_str()));
    } else if (requestId.empty() || checkUrl.empty() || external) {
        ClearOtpFields(context);
        Fail(context, kSignInUnparsable, std::u16string(kUnparsableText));
    } else if (PollForApproval(checkUrl, checks, interval, snHeader, context)) {
        requestIdForPoll = requestId;
        resend = true;
    }
}

void passwordSignIn(const std::u16string& serial, SignInContext& context) {
    if (!fetchPublicKey(kPublicKeyPath, context)) return;
    LogMessageId(kMsgPasswordSignInStarted);
    LogFormatMessageId(kMsgCustomerUser, context.customerId, context.userName);
    const std::u16string escapedName = JsonEscape(context.userName);
    if (escapedName != context.userName) {
        LogFormat(u"Username includes CTRL-CHAR, old username %s new username %s", context.userName,
                  escapedName);
        context.userName = escapedName;
    }
    const std::u16string escapedPassword = JsonEscape(context.password);
    if (escapedPassword != context.password) {
        LogDebug(u"Password includes CTRL-CHAR");
        context.password = escapedPassword;
    }
    const std::u16string encryptedName = encryptCredential(context.userName);
    const std::u16string encryptedPassword = encryptCredential(context.password);
    const bool encrypted = !encryptedName.empty() && !encryptedPassword.empty();
    const std::u16string& name = encrypted ? encryptedName : context.userName;
    const std::u16string& password = encrypted ? encryptedPassword : context.password;
    const std::u16string snHeader = u"sn:" + serial;
    std::u16string requestId;
    for (int round = 0; round <= kMaxResends; ++round) {
        const bool tokenSignIn = !context.authToken.empty() && !passwordEdited.load();
        std::u16string authHeader;
        if (tokenSignIn) {
            otpLogin = GetSettingInt(u"OtpToken", 0);
            authHeader = u"X-KX-AUTH-HEADER:" + context.authToken;
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
                                  requestId, agree);
            }
        } else if (requestId.empty()) {
            body = FormatText(encrypted ? kPasswordEncrypted : kPasswordClear, password, context.customerId,
                              name, agree);
        } else {
            body = FormatText(encrypted ? kPasswordEncryptedPoll : kPasswordClearPoll, password,
                              context.customerId, name, requestId, agree);
        }
        appendDeviceInfo(body, serial);
        if (!context.otpMiddleToken.empty() && !body.empty() && body.back() == u'}') {
            StripBrace(body);
            body += FormatText(u",\"supportOtpCode\":\"%s\",\"otpMiddleToken\":\"%s\"}", context.otpCode,
                               context.otpMiddleToken);
        }
        const std::u16string provider = identityProvider.Get();
        if (!provider.empty() && !body.empty() && body.back() == u'}') {
            StripBrace(body);
            body += FormatText(u",\"identityProvider\":\"%s\"}", provider);
        }
        LogDebug(context.authUrl);
        LogDebug(MaskStringField(MaskStringField(body, u"encryptPassword"), u"password"));
        CHttpClient client;
        std::string raw;
        uint32_t status = 0;
        const uint32_t result =
            client.PostText(context.authUrl, body, raw, status, 1, snHeader, authHeader, u"type:windows");
        bool resend = false;
        handleSignInAnswer(result, status, Utf8ToUtf16(raw), snHeader, false, context, requestId, resend);
        if (!resend) return;
    }
    // The service approved again and again without ever granting a token.
    Fail(context, kSignInPollTimedOut, std::u16string(kPollTimedOutText));
}

}  // namespace velora
