// The conversation with the customer's auth server shared by every sign-in: root URL, public key,
// credential encryption, device block and the report of failed requests.
#include "auth/AuthServer.h"

#include "auth/AuthText.h"
#include "auth/ErrorCatalogue.h"
#include "auth/FailedRequest.h"
#include "auth/PasswordSignIn.h"
#include "auth/SignInState.h"
#include "core/CryptoHelpers.h"
#include "core/DeviceInfo.h"
#include "core/Format.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/SecretMask.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr char16_t kDeviceBlock[] =
    u",\"otpLogin\":%s,\"supportOtp\":true,\"deviceId\":\"%s\",\"privacyVersion\":\"%s\",\"traceExtraInfo\":{"
    u"\"internalIp\":\"%s\",\"deviceName\":\"%s\",\"deviceType\":\"%s\",\"opsType\":\"Windows\","
    u"\"opsVersion\":"
    u"\"%s\",\"hostName\":\"%s\",\"sn\":\"%s\"}}";

bool IsTimeOutError(uint32_t result) {
    return result == kCodeHttpTimeout || result == kCodeHttpNameNotResolved ||
           result == kCodeHttpCannotConnect;
}

void PostResultCode(SignInContext& context, int32_t code) {
    platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, static_cast<uintptr_t>(code), 0);
}

void SendResultText(SignInContext& context, int32_t code, const std::u16string& text) {
    platform::SendWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, static_cast<uintptr_t>(code),
                                reinterpret_cast<intptr_t>(text.c_str()));
}

// An error answer of the service that names a message, with the text the catalogue gives it.
void ReportServiceError(std::u16string_view answer, uint32_t status, const std::u16string& text,
                        SignInContext& context) {
    context.resultCode = static_cast<int32_t>(status);
    if (text.empty()) {
        failSignIn(context, static_cast<int32_t>(status),
                   FormatText(kText2009UnknownCode, static_cast<int32_t>(status)));
        return;
    }
    context.message = text;
    if (text.find(u"BindDevice") != std::u16string::npos) {
        otpAccountName.Set(GetStringField(answer, u"accountName", u""));
    }
    SendResultText(context, static_cast<int32_t>(status), text);
}

}  // namespace

std::u16string ServerRoot(std::u16string_view authUrl) {
    std::u16string url = authUrl.empty() ? GetSetting(u"AuthUrl", u"") : std::u16string(authUrl);
    if (const auto api = url.find(u"/api"); api != std::u16string::npos) url.resize(api);
    if (url.empty() || url.back() != u'/') url += u'/';
    return url;
}

bool fetchPublicKey(std::u16string_view path, SignInContext& context) {
    const ServiceAnswer reply = PostJson({.url = ServerRoot(context.authUrl) + std::u16string(path)});
    const uint32_t result = reply.transport;
    const uint32_t status = reply.status;
    const std::u16string& answer = reply.text;
    if (result == 0 && status == 200) {
        serverPublicKey.Set(GetStringField(answer, u"key", u""));
        return true;
    }
    LogFormatMessageId(kMsgPublicKeyFailed, LogSnippet(answer));
    const FailedRequest failed = ClassifyFailedRequest(result, status, answer);
    const int32_t code = static_cast<int32_t>(failed.code);
    switch (failed.kind) {
        case FailedRequest::Kind::Transport:
            failSignIn(context, code,
                       IsTimeOutError(failed.code) ? std::u16string(kTextTransportTimedOut)
                                                   : FormatText(kTextAuthFailedCode, code));
            break;
        case FailedRequest::Kind::ServerMessage:
            LogDebug(LogSnippet(MaskSecrets(answer)));
            ReportServiceError(answer, failed.code, failed.text, context);
            break;
        case FailedRequest::Kind::BareStatus: {
            context.resultCode = code;
            context.message = FormatText(kTextAuthFailedCode, code);
            const std::u16string shown = FormatText(MessageText(kMsgSignInFailed), code);
            SendResultText(context, code, shown);
            break;
        }
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
                       JsonTextAsCut(GetSetting(u"PrivacyVersion", u"")), GetLocalIpList(), manufacturer,
                       model, GetOsDisplayName(GetOsShortName()), GetHostName(), serial);
}

void reportRequestFailure(std::u16string_view answer, uint32_t result, uint32_t status,
                          SignInContext& context) {
    const FailedRequest failed = ClassifyFailedRequest(result, status, answer);
    const int32_t code = static_cast<int32_t>(failed.code);
    if (failed.kind != FailedRequest::Kind::Transport) LogDebug(LogSnippet(MaskSecrets(answer)));
    if (failed.kind == FailedRequest::Kind::ServerMessage) {
        ReportServiceError(answer, failed.code, failed.text, context);
        return;
    }
    failSignIn(context, code, FormatText(kText2009UnknownCode, code));
}

void failSignIn(SignInContext& context, int32_t code, std::u16string message) {
    context.resultCode = code;
    context.message = std::move(message);
    PostResultCode(context, code);
}

void postSignInResult(SignInContext& context, int32_t code) {
    PostResultCode(context, code);
}

}  // namespace velora
