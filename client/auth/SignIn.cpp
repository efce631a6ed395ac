// The sign-in flow's entry. Until discovery and the password sign-in exist, every sign-in ends at once
// with a clear "not available" code, so callers never mistake it for a network failure.
#include "auth/SignIn.h"

#include <memory>
#include <mutex>

#include "auth/ExternalSignIn.h"
#include "auth/PasswordSignIn.h"
#include "core/WindowMessages.h"
#include "platform/Messenger.h"

namespace velora {
namespace {

std::mutex g_runnerLock;
std::shared_ptr<const std::function<void(SignInContext&)>> g_runner;
std::shared_ptr<const ExternalSignInFn> g_external;

void RunBuiltInSignIn(SignInContext& context) {
    context.resultCode = kSignInNotAvailable;
    context.message = u"Sign-in is not available in this build yet";
}

}  // namespace

void runSignIn(SignInContext& context) {
    std::shared_ptr<const std::function<void(SignInContext&)>> runner;
    {
        std::lock_guard l(g_runnerLock);
        runner = g_runner;
    }
    if (runner) {
        (*runner)(context);
    } else {
        RunBuiltInSignIn(context);
    }
}

void SetExternalSignIn(ExternalSignInFn implementation) {
    std::lock_guard l(g_runnerLock);
    g_external = implementation ? std::make_shared<const ExternalSignInFn>(std::move(implementation)) : nullptr;
}

void externalSignIn(const std::u16string& serial, const std::u16string& provider, const std::u16string& configUrl,
                    SignInContext& context) {
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
    context.message = std::u16string(kNotSupportedText);
    platform::PostWindowMessage(context.notifyWindow, UM_SIGNIN_RESULT, kSignInNotSupported, 0);
}

void SetSignInRunnerForTest(std::function<void(SignInContext&)> runner) {
    std::lock_guard l(g_runnerLock);
    g_runner =
        runner ? std::make_shared<const std::function<void(SignInContext&)>>(std::move(runner)) : nullptr;
}

}  // namespace velora
