// The password and token sign-in (in progress).
#include "auth/PasswordSignIn.h"

namespace velora {
std::u16string ServerRoot(std::u16string_view) { return {}; }
void passwordSignIn(const std::u16string&, SignInContext&) {}
bool fetchPublicKey(std::u16string_view, SignInContext&) { return false; }
std::u16string encryptCredential(std::u16string_view) { return {}; }
void appendDeviceInfo(std::u16string&, std::u16string_view) {}
void handleSignInAnswer(uint32_t, uint32_t, std::u16string_view, std::u16string_view, bool, SignInContext&,
                        std::u16string&, bool& resend) {
    resend = false;
}
void reportRequestFailure(std::u16string_view, uint32_t, uint32_t, SignInContext&) {}
void SetPollSleepForTest(void (*)(uint32_t)) {}
}  // namespace velora
