// Reading a sign-in answer and choosing its next step, without touching any state.
#include "auth/SignInAnswer.h"

#include "core/JsonFields.h"

namespace velora {

std::u16string ReadAuthToken(std::u16string_view answer) {
    constexpr std::u16string_view kKey = u"\"X-KX-AUTH-HEADER\":\"";
    const std::size_t p = answer.find(kKey);
    if (p == std::u16string_view::npos) return {};
    // From the key on, the field reader's first occurrence is this very key.
    return GetStringField(answer.substr(p), u"X-KX-AUTH-HEADER", u"");
}

SignInAnswer ParseSignInAnswer(std::u16string_view answer) {
    SignInAnswer a;
    a.token = ReadAuthToken(answer);
    a.phoneNumber = GetStringField(answer, u"phoneNumber", u"");
    a.middleToken = GetStringField(answer, u"middleToken", u"");
    a.requestIdForPoll = GetStringField(answer, u"requestIdForPoll", u"");
    a.checkUrl = GetStringField(answer, u"authResultCheckUrl", u"");
    a.checkInterval = GetIntField(answer, u"authResultCheckInterval", 0);
    a.checkTimes = GetIntField(answer, u"authResultCheckTimes", 0);
    a.otpMiddleToken = GetStringField(answer, u"otpMiddleToken", u"");
    a.otpKey = GetStringField(answer, u"otpKey", u"");
    a.accountName = GetStringField(answer, u"accountName", u"");
    a.otpRecoverCode = GetStringField(answer, u"otpRecoverCode", u"");
    a.processList = GetStringField(answer, u"windowsProcessNameExpression", u"");
    a.osList = GetArrayField(answer, u"windowsVersionList", u"");
    return a;
}

SignInStep DecideSignInStep(const SignInAnswer& answer, bool otpCodePage, bool external) {
    if (!answer.token.empty()) return SignInStep::SignedIn;
    if (!answer.otpMiddleToken.empty() && !otpCodePage) return SignInStep::OneTimePassword;
    if (!answer.phoneNumber.empty() || !answer.middleToken.empty()) return SignInStep::Sms;
    if (answer.requestIdForPoll.empty() || answer.checkUrl.empty() || external) return SignInStep::Unparsable;
    return SignInStep::Poll;
}

}  // namespace velora
