// Which sign-in methods a customer offers: password only, external only, or both.
#pragma once
#include <cstdint>
#include <string>

#include "auth/SignInContext.h"

namespace velora {

constexpr int32_t kAuthConfigPasswordOnly = 0;
constexpr int32_t kAuthConfigExternalOnly = 1;
constexpr int32_t kAuthConfigExternalAndPassword = 2;

struct AuthConfig {
    int32_t type = kAuthConfigPasswordOnly;
    std::u16string configUrl;  // absolute; empty for password only
    std::u16string identityProvider;
};

// Asks the auth server ("api/mobile/auth/config"). False when the request failed (reported through the
// context and UM_SIGNIN_RESULT); an HTTP 404 means password only.
bool fetchAuthConfig(SignInContext& context, AuthConfig& config);

}  // namespace velora
