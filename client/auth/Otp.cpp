// One-time-password code submission and recovery.
#include "auth/Otp.h"

#include "auth/AccountHelpers.h"
#include "auth/AuthText.h"
#include "auth/ErrorCatalogue.h"
#include "auth/SignInState.h"
#include "core/Format.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/SecretMask.h"
#include "core/ServiceRequest.h"
#include "core/TextHelpers.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

bool IsWhite(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x3000 ||
           c == 0xA0;
}

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

std::u16string OtpRecoveryUrl(std::u16string_view authUrl) {
    std::u16string url(authUrl);
    constexpr std::u16string_view from = u"/auth";
    constexpr std::u16string_view to = u"/recoverOtpKey";
    for (std::size_t p = url.find(from); p != std::u16string::npos; p = url.find(from, p + to.size())) {
        url.replace(p, from.size(), to);
    }
    return url;
}

std::u16string TrimEnd(std::u16string_view text) {
    while (!text.empty() && IsWhite(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

uint32_t CheckRecoveryCode(std::u16string_view typed, std::u16string_view placeholder) {
    if (!placeholder.empty() && typed == placeholder) return 1348;
    const std::u16string code = TrimEnd(typed);
    if (code.empty()) return 1348;
    if (code.size() != kRecoveryCodeLength) return 1350;
    for (char16_t c : code) {
        if (!IsAsciiAlnum(c)) return 1350;
    }
    return 0;
}

bool PrepareOtpSubmission(const std::array<std::u16string, kOtpDigits>& boxes, SignInContext& context) {
    std::u16string code;
    for (const std::u16string& box : boxes) {
        if (box.empty()) return false;
        code += TrimEnd(box);
    }
    context.otpCode = code;
    context.otpMiddleToken = otpMiddleToken.Get();
    return true;
}

void recoverOtpKey(const OtpRecoverRequest& request) {
    const std::u16string body = FormatText(
        u"{\"otpMiddleToken\":\"%s\",\"recoverCode\":\"%s\",\"customerId\":\"%s\"}",
        JsonTextAsCut(request.otpMiddleToken), JsonEscape(request.recoverCode), request.customerId);
    const ServiceAnswer reply = PostJson({.url = request.url, .body = body});
    const uint32_t result = reply.transport;
    const uint32_t status = reply.status;
    const std::string& answer = reply.bytes;
    const std::u16string& wide = reply.text;
    if (result != 0 || status != 200) {
        LogDebug(u"Failed to send recovery code");
        LogFormatMessageId(kMsgRequestFailed, result, MaskSecrets(wide), status);
        ReportWorkerFailure(request.dialog, UM_OTP_RECOVER_RESULT, result, status, answer);
        return;
    }
    LogDebug(u"Using recovery code: " + MaskSecrets(wide));
    otpKey.Set(GetStringField(wide, u"otpKey", u""));
    otpAccountName.Set(GetStringField(wide, u"accountName", u""));
    otpMiddleToken.Set(GetStringField(wide, u"otpMiddleToken", u""));
    PostCode(request.dialog, UM_OTP_RECOVER_RESULT, 0);
}

std::unique_ptr<platform::Thread> StartRecoverOtpKey(OtpRecoverRequest request, uint32_t& error) {
    platform::ThreadCreation created = platform::StartThread([request = std::move(request)]() -> uint32_t {
        recoverOtpKey(request);
        return 0;
    });
    error = created.error;
    return std::move(created.thread);
}

}  // namespace velora
