// The sign-in flow's first stage: privacy gate, discovery of the auth URL (or the debug override), the
// error catalogue, then dispatch to the password or the external sign-in.
#include "auth/SignIn.h"

#include <memory>
#include <mutex>

#include "auth/AuthConfig.h"
#include "auth/AuthText.h"
#include "auth/Discovery.h"
#include "auth/ErrorCatalogue.h"
#include "auth/ExternalSignIn.h"
#include "auth/PasswordSignIn.h"
#include "auth/SignInState.h"
#include "core/DeviceInfo.h"
#include "core/JsonFields.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/ServiceRequest.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "helper/HelperClient.h"
#include "platform/ComApartment.h"
#include "platform/HelperService.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

std::mutex g_runnerLock;
std::shared_ptr<const std::function<void(SignInContext&)>> g_runner;
std::shared_ptr<const ExternalSignInFn> g_external;

void PostDiscovery(SignInContext& context, uint32_t code) {
    platform::PostWindowMessage(context.notifyWindow, UM_DISCOVERY_RESULT, code, 0);
}

// Both discovery servers failed: the backup's answer decides what the user reads.
void ReportDiscoveryFailure(SignInContext& context, uint32_t result, uint32_t status,
                            std::u16string_view answer) {
    if (answer.size() >= 7 && answer.find(u"message") != std::u16string_view::npos) {
        const int32_t code = GetIntField(answer, u"code", 0);
        if (code != 0) {
            const std::u16string text = serverErrorText(answer);
            if (!text.empty()) {
                context.resultCode = code;
                context.message = text;
                platform::SendWindowMessage(context.notifyWindow, UM_DISCOVERY_RESULT, status,
                                            reinterpret_cast<intptr_t>(text.c_str()));
                return;
            }
        }
        context.resultCode = static_cast<int32_t>(status);
        context.message = FormatText(kText2009UnknownCode, static_cast<int32_t>(status));
        PostDiscovery(context, status);
    } else if (result != 0) {
        context.resultCode = static_cast<int32_t>(result);
        context.message = result == kCodeHttpTimeout || result == kCodeHttpNameNotResolved ||
                                  result == kCodeHttpCannotConnect
                              ? std::u16string(kTextTransportTimedOut)
                              : FormatText(kTextAuthFailedCode, static_cast<int32_t>(result));
        PostDiscovery(context, result);
    } else {
        context.resultCode = static_cast<int32_t>(status);
        context.message = FormatText(kTextAuthFailedCode, static_cast<int32_t>(status));
        PostDiscovery(context, status);
    }
}

// Asks the primary, then the backup discovery server. False when both failed (reported).
bool Discover(SignInContext& context, const std::u16string& serial, bool routeServers) {
    const std::u16string primary = PrimaryDiscoveryUrl();
    const std::u16string backup = BackupDiscoveryUrl();
    if (routeServers) {
        routeServerViaGateway(primary);
        routeServerViaGateway(backup);
    }
    const std::u16string body = FormatText(u"customerId=%s&sn=%s&model=windows", context.customerId, serial);
    LogFormatMessageId(kMsgDiscoveryRequest, primary, body);
    uint32_t result = 0;
    uint32_t status = 0;
    std::u16string answer;
    for (const std::u16string* url : {&primary, &backup}) {
        const ServiceAnswer reply = PostForm({.url = *url, .body = body});
        result = reply.transport;
        status = reply.status;
        answer = reply.text;
        if (result == 0 && status == 200) {
            LogMessageId(kMsgDiscoverySucceeded);
            context.authUrl = authUrlFromDiscovery(answer);
            return true;
        }
        if (url == &primary) {
            LogFormatMessageId(kMsgDiscoveryFailed, static_cast<int32_t>(result),
                               static_cast<int32_t>(status), LogSnippet(answer));
            LogMessageId(kMsgTryingBackupDiscovery);
        }
    }
    ReportDiscoveryFailure(context, result, status, answer);
    return false;
}

void RunExternal(SignInContext& context, const std::u16string& serial, const AuthConfig& config) {
    externalSignIn(serial, config.identityProvider, config.configUrl, context);
}

void RunSignInFlow(SignInContext& context, bool apiRun) {
    const std::u16string serial = GetInstallationSerial();
    LogMessageId(kMsgSignInStarted);
    // The helper service that routes the servers past a tunnel is reached through COM; without it the
    // sign-in still runs, unrouted.
    const platform::CComApartment com;
    if (!com.Usable()) {
        LogFormatMessageId(kMsgComInitFailed, static_cast<uint32_t>(com.Error()),
                           HelperResultText(com.Error()));
    }
    const bool routeServers = com.Usable();

    const std::u16string fetched = fetchPrivacyVersion();
    privacyVersion.Set(fetched);
    if (!fetched.empty()) {
        std::u16string stored = GetSetting(u"PrivacyVersion", u"");
        if (stored == u"newest") {
            SetSetting(u"PrivacyVersion", fetched);
            stored = fetched;
        }
        if (fetched > stored) {
            // Without a window nobody can accept the policy: the caller must not read this as success.
            context.resultCode = kPrivacyPolicyNewer;
            context.message = u"A newer privacy policy must be accepted in the client before signing in";
            PostDiscovery(context, kPrivacyPolicyNewer);
            return;
        }
    }

    const std::u16string debugUrl = GetSettingText(u"DebugOrchUrl", u"");
    LogDebug(u"DebugUrl:" + debugUrl);
    if (!debugUrl.empty()) context.authUrl = debugUrl;
    if ((context.authUrl.empty() || signInRequested.load()) && debugUrl.empty()) {
        if (!Discover(context, serial, routeServers)) return;
    }
    if (context.authUrl.empty()) {
        context.resultCode = kSignInUnparsable;
        context.message = std::u16string(kText2014Unparsable);
        PostDiscovery(context, kSignInUnparsable);
        return;
    }
    if (routeServers) routeServerViaGateway(context.authUrl);
    loadErrorCatalogue(kErrorCataloguePath, context.authUrl);

    if (apiRun) {
        const CLoginPageOverride page(PagePassword);
        passwordSignIn(serial, context);
        return;
    }
    AuthConfig config;
    switch (LoginPage.load()) {
        case PageCustomerId:
            if (!fetchAuthConfig(context, config)) return;
            if (signInRequested.load() && config.type == kAuthConfigPasswordOnly) {
                LoginPage = PagePassword;
                platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kSignInPageChanged, 0);
            } else if (signInRequested.load() && config.type == kAuthConfigExternalAndPassword) {
                LoginPage = PageExternal;
                platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kSignInPageChanged, 0);
            } else {
                returnPage = PageCustomerId;
                RunExternal(context, serial, config);
            }
            break;
        case PageExternal:
            if (fetchAuthConfig(context, config)) RunExternal(context, serial, config);
            break;
        case PageOtpBind:
            break;
        default:
            passwordSignIn(serial, context);
            break;
    }
}

std::shared_ptr<const std::function<void(SignInContext&)>> Runner() {
    std::lock_guard l(g_runnerLock);
    return g_runner;
}

}  // namespace

void runSignIn(SignInContext& context) {
    if (const auto runner = Runner()) {
        (*runner)(context);
    } else {
        RunSignInFlow(context, false);
    }
}

void runApiSignIn(SignInContext& context) {
    if (const auto runner = Runner()) {
        (*runner)(context);
    } else {
        RunSignInFlow(context, true);
    }
}

void SetExternalSignIn(ExternalSignInFn implementation) {
    std::lock_guard l(g_runnerLock);
    g_external =
        implementation ? std::make_shared<const ExternalSignInFn>(std::move(implementation)) : nullptr;
}

void externalSignIn(const std::u16string& serial, const std::u16string& provider,
                    const std::u16string& configUrl, SignInContext& context) {
    std::shared_ptr<const ExternalSignInFn> implementation;
    {
        std::lock_guard l(g_runnerLock);
        implementation = g_external;
    }
    if (implementation) {
        (*implementation)(serial, provider, configUrl, context);
        return;
    }
    context.resultCode = kSignInNotSupported;
    context.message = std::u16string(kTextNotSupported);
    platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kSignInNotSupported, 0);
}

void SetSignInRunnerForTest(std::function<void(SignInContext&)> runner) {
    std::lock_guard l(g_runnerLock);
    g_runner =
        runner ? std::make_shared<const std::function<void(SignInContext&)>>(std::move(runner)) : nullptr;
}

}  // namespace velora
