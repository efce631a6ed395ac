// Storage of the process-wide sign-in state.
#include "auth/SignInState.h"

namespace velora {

std::atomic<int32_t> LoginPage{PageCustomerId};
std::atomic<bool> signInRequested{false};
std::atomic<int32_t> returnPage{PageCustomerId};
CSharedText privacyVersion;

CSharedText serverPublicKey;
CSharedText otpMiddleToken;
CSharedText otpKey;
CSharedText otpAccountName;
CSharedText otpRecoverCode;
CSharedText identityProvider;
CSharedText deviceId;
std::atomic<bool> agreeToPrivacy{false};
std::atomic<int32_t> otpLogin{0};
std::atomic<bool> passwordEdited{false};

void ResetSignInStateForTest() {
    LoginPage = PageCustomerId;
    signInRequested = false;
    returnPage = PageCustomerId;
    privacyVersion.Clear();
    serverPublicKey.Clear();
    otpMiddleToken.Clear();
    otpKey.Clear();
    otpAccountName.Clear();
    otpRecoverCode.Clear();
    identityProvider.Clear();
    deviceId.Clear();
    agreeToPrivacy = false;
    otpLogin = 0;
    passwordEdited = false;
}

}  // namespace velora
