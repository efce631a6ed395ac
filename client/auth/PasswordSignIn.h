// The password and token sign-in at the customer's auth URL and the handling of every sign-in answer
// (token, second factor, polling, refusal); the external sign-in hands its answers to the same handler.
// The conversation pieces it shares with the other sign-ins live in AuthServer.h.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "auth/AuthServer.h"
#include "auth/SignInContext.h"
#include "core/ResultCodes.h"

namespace velora {

// wParam of UM_SIGNIN_RESULT telling the window that `LoginPage` changed.
constexpr int32_t kSignInPageChanged = 10001;
// Result codes of the sign-in.
constexpr int32_t kSignInNotSupported = kCodeNotSupported;  // a second factor the exported API cannot take
constexpr int32_t kSignInUnparsable = kCodeUnparsable;
constexpr int32_t kSignInPollTimedOut = kCodePollTimedOut;

// Runs one complete password or token sign-in, polling included; reports through the context and
// UM_SIGNIN_RESULT.
void passwordSignIn(const std::u16string& serial, SignInContext& context);

// Interprets one sign-in answer. `resend` asks the caller to send the request again with the
// "requestIdForPoll" variant of its body, carrying `requestIdForPoll`.
void handleSignInAnswer(uint32_t result, uint32_t status, std::u16string_view answer,
                        std::u16string_view snHeader, bool external, SignInContext& context,
                        std::u16string& requestIdForPoll, bool& resend);

}  // namespace velora
