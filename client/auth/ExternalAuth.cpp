// External sign-in. The worker blocks while the user is in the browser; it ends by the redirect, by the
// login window's exit, or by a wait failure. Only one run at a time: a second one would share the
// login window's single context with the waiting one.
#include "auth/ExternalAuth.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "auth/AuthText.h"
#include "auth/ExternalParams.h"
#include "auth/ExternalSignIn.h"
#include "auth/PasswordSignIn.h"
#include "auth/Pkce.h"
#include "auth/Redirect.h"
#include "auth/SignInState.h"
#include "core/Format.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/SecretMask.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "platform/Browser.h"
#include "platform/Kernel.h"
#include "platform/Messages.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

// The wait looks at the hand-over setting between slices too: a pulse of the auto-reset event reaches
// only a thread that waits at that very moment, and a redirect must not be lost to that race.
constexpr uint32_t kWaitSliceMs = 250;

std::atomic<bool> g_running{false};

std::mutex g_lock;
std::function<bool(std::u16string_view, uint32_t&)> g_opener;
std::unique_ptr<platform::Event> g_instanceEvent;
uint32_t g_instanceEventError = 0;
std::unique_ptr<platform::Event> g_exitEvent;

platform::Event* ExitEvent() {
    std::lock_guard l(g_lock);
    if (!g_exitEvent) g_exitEvent = platform::OpenOrCreateEvent(u"", true, false).event;
    return g_exitEvent.get();
}

platform::Event* InstanceEvent(uint32_t& error) {
    std::lock_guard l(g_lock);
    if (!g_instanceEvent) {
        platform::EventCreation created = platform::OpenOrCreateEvent(kInstanceEventName, false, false);
        g_instanceEvent = std::move(created.event);
        g_instanceEventError = created.error;
    }
    error = g_instanceEventError;
    return g_instanceEvent.get();
}

bool OpenBrowser(std::u16string_view url, uint32_t& error) {
    std::function<bool(std::u16string_view, uint32_t&)> opener;
    {
        std::lock_guard l(g_lock);
        opener = g_opener;
    }
    return opener ? opener(url, error) : platform::OpenUrlInBrowser(url, error);
}

void Finish(SignInContext& context, int32_t code, std::u16string_view message, intptr_t lParam = 0) {
    context.resultCode = code;
    context.message = std::u16string(message);
    platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, static_cast<uintptr_t>(code), lParam);
}

std::u16string AgreeText() {
    return agreeToPrivacy ? u"true" : u"false";
}

// One answer of the auth URL, handed to the sign-in's answer handler as an external one (no polling).
void PostToAuthUrl(SignInContext& context, std::u16string_view body, const std::u16string& serial,
                   const std::u16string& token) {
    const ServiceAnswer reply =
        PostJson({.url = context.authUrl, .body = std::u16string(body), .serial = serial, .token = token});
    std::u16string requestId;
    bool resend = false;
    handleSignInAnswer(reply.transport, reply.status, reply.text, u"sn:" + serial, true, context, requestId,
                       resend);
}

// Waits for the browser's hand-over. True when a redirect arrived; false when the run ended (reported).
bool WaitForRedirect(SignInContext& context) {
    uint32_t eventError = 0;
    platform::Event* instance = InstanceEvent(eventError);
    platform::Event* exit = ExitEvent();
    if (!instance || !exit) {
        LogFormatMessageIdAtLevel(kLogError, kMsgBrowserWaitFailed,
                                  instance ? platform::LastSystemError() : eventError);
        Finish(context, kExternalWaitFailed, u"Error waiting for browser authentication result");
        return false;
    }
    for (;;) {
        if (exit->Wait(0)) {
            LogDebug(u"Login thread exit");
            return false;
        }
        if (instance->Wait(kWaitSliceMs)) return true;
        if (!GetSetting(u"OauthBrowerRet", u"").empty()) return true;
    }
}

void RunExternalSignIn(const std::u16string& serial, const std::u16string& provider,
                       const std::u16string& configUrl, SignInContext& context) {
    identityProvider.Set(provider);
    const std::u16string thirdPartyUser = GetSetting(u"ThirdPartyUser", u"");

    if (!context.authToken.empty() && !thirdPartyUser.empty() && !passwordEdited) {
        otpLogin = GetSettingInt(u"OtpToken", 0);
        std::u16string body = FormatText(
            u"{\"customerId\":%s,\"accountName\":\"%s\", \"support2FA\":false, "
            u"\"supportPollByRequestId\":false, \"agreeToPrivacy\":%s}",
            context.customerId, thirdPartyUser, AgreeText());
        appendDeviceInfo(body, serial);
        PostToAuthUrl(context, body, serial, context.authToken);
        return;
    }

    const int32_t page = LoginPage;
    if (page >= PageCustomerId && page <= PagePasswordWithExternal) otpLogin = 0;
    // The stored account and the provider name are JSON text as the field readers cut them from the
    // service's answers: they go out as they are, or a backslash in them would be doubled.
    const std::u16string configBody =
        FormatText(u"{\"customerId\":%s, \"identityProvider\":\"%s\"}", context.customerId, provider);
    const ServiceAnswer configReply = PostJson({.url = configUrl, .body = configBody, .serial = serial});
    const uint32_t configResult = configReply.transport;
    const uint32_t configStatus = configReply.status;
    const std::u16string& answer = configReply.text;
    if (configResult != 0 || configStatus != 200) {
        reportRequestFailure(answer, configResult, configStatus, context);
        return;
    }
    LogDebug(u"Third party auth param:" + MaskSecrets(answer));
    const ProviderParameters params = ReadProviderParameters(answer);
    if (params.authorizationCodeUrl.empty() || params.responseCodeKey.empty()) {
        Finish(context, kExternalNotConfigured, u"Some necessary parameters are not configured");
        return;
    }

    const std::u16string state = pkceStateValue();
    std::u16string verifier;
    std::u16string url;
    if (!params.pkceEnable) {
        url = buildAuthorizationUrl(params.authorizationCodeUrl, false, params.clientIdParam,
                                    params.redirectUriParam, params.stateParam, params.scopeParam,
                                    params.codeChallengeParam, params.reqQuery, state, u"");
    } else {
        LogDebug(u"Enable PKCE");
        if (params.codeLength > kMaxPkceCodeLength) {
            Finish(context, kExternalIllegalPkce, u"Illegal PKCE parameter, code length exceeds 128",
                   params.codeLength);
            return;
        }
        verifier = pkceCodeVerifier(params.codeLength);
        const std::u16string challenge =
            verifier.empty() ? std::u16string() : pkceCodeChallenge(verifier, params.codeChallengeMethod);
        if (challenge.empty()) {
            Finish(context, kExternalIllegalPkce, u"Illegal code challenge value");
            return;
        }
        url = buildAuthorizationUrl(params.authorizationCodeUrl, true, params.clientIdParam,
                                    params.redirectUriParam, params.stateParam, params.scopeParam,
                                    params.codeChallengeParam, params.reqQuery, state, challenge);
    }
    // Without a state value the redirect could not be told from a forged one.
    if (url.empty() || state.empty()) {
        Finish(context, kExternalNotConfigured, u"The length of request url is 0");
        return;
    }

    // The named event exists before the browser can start a second copy: that copy must find it, or it
    // would take itself for the first one.
    uint32_t eventError = 0;
    (void)InstanceEvent(eventError);
    LogDebug(u"Auth code request URL:" + url);
    SetSetting(u"OauthBrowerRet", u"");
    platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kExternalBrowserOpened, 0);
    uint32_t openError = 0;
    if (!OpenBrowser(url, openError)) {
        LogFormat(u"Failed to call ShellExecuteEx, error code %d", openError);
        Finish(context, kExternalBrowserFailed, u"Failed to open browser to continue authentication");
        return;
    }

    if (!WaitForRedirect(context)) return;
    platform::SendWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kExternalRedirectArrived, 0);
    const std::u16string returned = GetSetting(u"OauthBrowerRet", u"");
    if (returned.empty()) {
        Finish(context, kExternalNoCode, u"The length of auth code is 0");
        return;
    }
    // The redirect carries the authorization code: never in the log.
    LogDebug(MaskUrlParameter(returned, params.responseCodeKey));

    if (!RedirectStateMatches(returned, params.reqQueryText, params.stateParam.value, state)) {
        Finish(context, kExternalStateMismatch, u"");
        return;
    }
    if (RedirectHasParameter(returned, params.responseCodeKey)) {
        const std::u16string code = RedirectParameter(returned, params.responseCodeKey);
        if (code.empty()) {
            Finish(context, kExternalNoCode, u"The length of auth code is 0");
            return;
        }
        // The code comes from whatever started the second copy; escaping keeps it one JSON value.
        std::u16string body =
            params.pkceEnable
                ? FormatText(
                      u"{\"authorizationCode\":\"%s\",\"redirectUri\":\"%s\",\"codeVerifier\":\"%s\","
                      u"\"customerId\":%s,\"identityProvider\":\"%s\", \"support2FA\":false, "
                      u"\"supportPollByRequestId\":false,\"agreeToPrivacy\":%s}",
                      JsonEscape(code), kExternalRedirectUri, verifier, context.customerId, provider,
                      AgreeText())
                : FormatText(
                      u"{\"authorizationCode\":\"%s\",\"redirectUri\":\"%s\",\"customerId\":%s,"
                      u"\"identityProvider\":\"%s\", \"support2FA\":false, "
                      u"\"supportPollByRequestId\":false,\"agreeToPrivacy\":%s}",
                      JsonEscape(code), kExternalRedirectUri, context.customerId, provider, AgreeText());
        appendDeviceInfo(body, serial);
        PostToAuthUrl(context, body, serial, u"");
        return;
    }

    std::u16string error = RedirectParameter(returned, params.responseErrorKey);
    if (error.empty()) {
        platform::LoadMessage(1272, error);
        if (error.empty()) error = u"Unknown error";
    }
    const std::u16string message = u"Authentication failed(" + error + u")";
    context.resultCode = kExternalProviderError;
    context.message = message;
    platform::SendWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kExternalProviderError,
                                reinterpret_cast<intptr_t>(error.c_str()));
}

const bool g_registered = (RegisterExternalSignIn(), true);

}  // namespace

void externalSignInBrowser(const std::u16string& serial, const std::u16string& provider,
                           const std::u16string& configUrl, SignInContext& context) {
    bool expected = false;
    if (!g_running.compare_exchange_strong(expected, true)) {
        Finish(context, kExternalAlreadyWaiting, u"An external sign-in is already waiting for the browser");
        return;
    }
    struct Clear {
        ~Clear() { g_running = false; }
    } clear;
    RunExternalSignIn(serial, provider, configUrl, context);
}

void RegisterExternalSignIn() {
    (void)g_registered;
    SetExternalSignIn(externalSignInBrowser);
}

void SignalLoginThreadExit() {
    if (platform::Event* exit = ExitEvent()) exit->Set();
}

void ResetLoginThreadExit() {
    if (platform::Event* exit = ExitEvent()) exit->Reset();
}

bool ExternalSignInRunning() {
    return g_running;
}

void SetBrowserOpenerForTest(std::function<bool(std::u16string_view url, uint32_t& error)> opener) {
    std::lock_guard l(g_lock);
    g_opener = std::move(opener);
}

}  // namespace velora
