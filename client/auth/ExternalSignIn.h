// The external sign-in (browser, identity provider) as the sign-in flow calls it. Its implementation
// registers itself here, so the flow builds and runs without it: until one is registered, an external
// sign-in ends at once with a failure report.
#pragma once
#include <functional>
#include <string>

#include "auth/SignInContext.h"

namespace velora {

using ExternalSignInFn =
    std::function<void(const std::u16string& serial, const std::u16string& identityProvider,
                       const std::u16string& configUrl, SignInContext& context)>;

// Installs the implementation (an empty function removes it).
void SetExternalSignIn(ExternalSignInFn implementation);

// Runs the registered implementation; without one: result code 50, message "Not supported", and
// UM_SIGNIN_RESULT posted with 50.
void externalSignIn(const std::u16string& serial, const std::u16string& identityProvider,
                    const std::u16string& configUrl, SignInContext& context);

}  // namespace velora
