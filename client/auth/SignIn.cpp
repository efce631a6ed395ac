// The sign-in flow's entry. Until discovery and the password sign-in exist, every sign-in ends at once
// with a clear "not available" code, so callers never mistake it for a network failure.
#include "auth/SignIn.h"

#include <memory>
#include <mutex>

namespace velora {
namespace {

std::mutex g_runnerLock;
std::shared_ptr<const std::function<void(SignInContext&)>> g_runner;

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

void SetSignInRunnerForTest(std::function<void(SignInContext&)> runner) {
    std::lock_guard l(g_runnerLock);
    g_runner =
        runner ? std::make_shared<const std::function<void(SignInContext&)>>(std::move(runner)) : nullptr;
}

}  // namespace velora
