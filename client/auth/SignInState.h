// Process-wide sign-in state shared by the login window, the sign-in worker and the short account
// workers: the login page and its request flags, and what one sign-in answer hands to the next step.
// The window thread and the workers both touch these, so every value is either atomic or a text behind
// its own lock (a torn read of a token or key would send garbage to the service).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace velora {

// Values of `LoginPage` (the login window builds its page from them).
constexpr int32_t PageCustomerId = 0;
constexpr int32_t PagePassword = 1;
constexpr int32_t PageExternal = 2;
constexpr int32_t PagePasswordWithExternal = 3;
constexpr int32_t PageOtpBind = 4;
constexpr int32_t PageOtpCode = 5;
constexpr int32_t PageOtpCodeAfterBind = 6;

// A text shared between threads: every read is a copy taken under the lock.
class CSharedText {
public:
    CSharedText() = default;
    CSharedText(const CSharedText&) = delete;
    CSharedText& operator=(const CSharedText&) = delete;

    std::u16string Get() const {
        std::lock_guard l(lock_);
        return value_;
    }
    void Set(std::u16string_view value) {
        std::lock_guard l(lock_);
        value_.assign(value);
    }
    void Clear() { Set({}); }
    bool Empty() const {
        std::lock_guard l(lock_);
        return value_.empty();
    }

private:
    mutable std::mutex lock_;
    std::u16string value_;
};

// The active page of the login window; 0 at start-up (the exported API never changes it).
extern std::atomic<int32_t> LoginPage;
// Set by the window when the user presses sign-in or next; cleared by its result handler.
extern std::atomic<bool> signInRequested;
// The page to which the one-time-password pages return.
extern std::atomic<int32_t> returnPage;
// The privacy-policy version fetched at the start of the last sign-in (empty until fetched).
extern CSharedText privacyVersion;

// "key" of the public-key answer: Base64 of an X.509 SubjectPublicKeyInfo.
extern CSharedText serverPublicKey;
extern CSharedText otpMiddleToken;
extern CSharedText otpKey;  // the TOTP secret to bind; empty when the account is bound already
extern CSharedText otpAccountName;
extern CSharedText otpRecoverCode;  // also kept in the setting "OtpRecover"
extern CSharedText identityProvider;  // of an external sign-in; empty for the password sign-in
extern CSharedText deviceId;          // computed when the login window opens; empty without it
extern std::atomic<bool> agreeToPrivacy;
extern std::atomic<int32_t> otpLogin;  // 1 when the account signs in with a one-time password
extern std::atomic<bool> passwordEdited;

// The page a sign-in acts for: `LoginPage`, unless this thread runs a sign-in of the exported API, which
// acts as the password page without touching the window's page.
int32_t CurrentLoginPage();
// While one lives, CurrentLoginPage() on this thread answers `page`.
class CLoginPageOverride {
public:
    explicit CLoginPageOverride(int32_t page);
    ~CLoginPageOverride();
    CLoginPageOverride(const CLoginPageOverride&) = delete;
    CLoginPageOverride& operator=(const CLoginPageOverride&) = delete;

private:
    int32_t previous_;
};

// Back to the start-up values (tests; a process without the login window never needs it).
void ResetSignInStateForTest();

}  // namespace velora
