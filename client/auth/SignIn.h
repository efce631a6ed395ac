// The sign-in flow: discovery of the authentication server, then the sign-in the active login page asks
// for. Outcome in the context (result code, message, token, auth URL) and, with a notify window, in
// window messages.
#pragma once
#include <functional>

#include "auth/SignInContext.h"

namespace velora {

// Result code while the sign-in flow is missing from this build (ERROR_CALL_NOT_IMPLEMENTED).
constexpr int32_t kSignInNotAvailable = 120;

void runSignIn(SignInContext& context);

// Tests replace the whole flow with a double; an empty function restores the real one.
void SetSignInRunnerForTest(std::function<void(SignInContext&)> runner);

}  // namespace velora
