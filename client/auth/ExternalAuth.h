// The external sign-in through the browser: provider parameters from the service, the authorization
// page in the default browser, the redirect handed over by a second start of the program, and the code
// exchange at the auth URL. It registers itself as the sign-in flow's external sign-in.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "auth/SignInContext.h"
#include "core/ResultCodes.h"

namespace velora {

// Result codes of the external sign-in (UM_SIGNIN_RESULT).
constexpr int32_t kExternalIllegalPkce = 4081;
constexpr int32_t kExternalBrowserFailed = 4084;
constexpr int32_t kExternalWaitFailed = 4086;
constexpr int32_t kExternalNoCode = 4087;
constexpr int32_t kExternalProviderError = 4088;
constexpr int32_t kExternalNotConfigured = 4089;
constexpr int32_t kExternalBrowserOpened = 4091;
constexpr int32_t kExternalStateMismatch = 4094;
constexpr int32_t kExternalRedirectArrived = 4095;
// A second external sign-in while one waits for the browser (both would share one context).
constexpr int32_t kExternalAlreadyWaiting = kCodeBusyOrStopped;

inline constexpr std::u16string_view kInstanceEventName = u"Hal_Vane";

// The sign-in flow's external sign-in (see ExternalSignIn.h).
void externalSignInBrowser(const std::u16string& serial, const std::u16string& identityProvider,
                           const std::u16string& configUrl, SignInContext& context);

// Installs externalSignInBrowser behind the flow's seam (done once at start-up of the program; calling
// it again does no harm).
void RegisterExternalSignIn();

// The login window's exit: a waiting external sign-in ends without a result. Reset when a new login
// window opens.
void SignalLoginThreadExit();
void ResetLoginThreadExit();

// True while an external sign-in runs (from its start to its result).
bool ExternalSignInRunning();

// Tests: opens the authorization page instead of the browser (an empty function restores the browser).
void SetBrowserOpenerForTest(std::function<bool(std::u16string_view url, uint32_t& error)> opener);

}  // namespace velora
