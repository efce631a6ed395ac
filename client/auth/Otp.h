// One-time-password steps that are not the sign-in itself: the code the user types (sent by the next
// password sign-in), and the recovery request that trades a recovery code for a new secret.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "auth/SignInContext.h"
#include "platform/Kernel.h"
#include "platform/Types.h"

namespace velora {

// To the recovery dialog: wParam the code (0 success), lParam 0 or a text (sent only).
constexpr uint32_t UM_OTP_RECOVER_RESULT = 1024 + 22;

constexpr std::size_t kOtpDigits = 6;
constexpr std::size_t kRecoveryCodeLength = 16;

// The auth URL with every "/auth" replaced by "/recoverOtpKey".
std::u16string OtpRecoveryUrl(std::u16string_view authUrl);

// The message id to show for a typed recovery code (white space at its end removed first): 1348 when
// it is empty or still the placeholder, 1350 when it is not 16 characters from 0-9, A-Z, a-z; else 0.
uint32_t CheckRecoveryCode(std::u16string_view typed, std::u16string_view placeholder);
// The typed code without white space at its end.
std::u16string TrimEnd(std::u16string_view text);

// Puts the six boxes (left to right) and the pending middle token into the context for the next
// password sign-in; false (nothing changed) when a box is empty.
bool PrepareOtpSubmission(const std::array<std::u16string, kOtpDigits>& boxesLeftToRight,
                          SignInContext& context);

struct OtpRecoverRequest {
    std::u16string url;  // the recovery URL
    std::u16string otpMiddleToken;
    std::u16string recoverCode;
    std::u16string customerId;
    platform::WindowHandle dialog = nullptr;
};

// The worker body: on success `otpKey`, `otpAccountName` and `otpMiddleToken` come from the answer.
void recoverOtpKey(const OtpRecoverRequest& request);
std::unique_ptr<platform::Thread> StartRecoverOtpKey(OtpRecoverRequest request, uint32_t& error);

}  // namespace velora
