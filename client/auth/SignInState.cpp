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

namespace {
thread_local int32_t t_pageOverride = -1;
}  // namespace

int32_t CurrentLoginPage() {
    return t_pageOverride >= 0 ? t_pageOverride : LoginPage.load();
}

CLoginPageOverride::CLoginPageOverride(int32_t page) : previous_(t_pageOverride) {
    t_pageOverride = page;
}

CLoginPageOverride::~CLoginPageOverride() {
    t_pageOverride = previous_;
}

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
