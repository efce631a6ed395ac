// The sign-in flow: discovery of the authentication server, then the sign-in the active login page asks
// for. Outcome in the context (result code, message, token, auth URL) and, with a notify window, in
// window messages.
#pragma once
#include <functional>

#include "auth/SignInContext.h"

namespace velora {

// Result code while the sign-in flow is missing from this build (ERROR_CALL_NOT_IMPLEMENTED).
constexpr int32_t kSignInNotAvailable = 120;
// wParam of UM_DISCOVERY_RESULT (and, for a run without a window, the result code) when the privacy
// policy has a newer version that the user has not accepted.
constexpr int32_t kPrivacyPolicyNewer = 10000;

// The login window's run: dispatches by `LoginPage`.
void runSignIn(SignInContext& context);

// The exported API's run: the same flow, always as the password page (the API has a user name and a
// password but no browser and no window for a second factor).
void runApiSignIn(SignInContext& context);

// Tests replace the whole flow (both runs) with a double; an empty function restores the real one.
void SetSignInRunnerForTest(std::function<void(SignInContext&)> runner);

}  // namespace velora
