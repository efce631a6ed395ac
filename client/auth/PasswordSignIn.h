// The conversation with the customer's auth URL: public key, encrypted credentials or a stored token,
// the device block, and the interpretation of every sign-in answer (token, second factor, polling,
// refusal). The external sign-in hands its answers to the same handler.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "auth/SignInContext.h"

namespace velora {

// wParam of UM_SIGNIN_RESULT telling the window that `LoginPage` changed.
constexpr int32_t kSignInPageChanged = 10001;
// Result codes of the sign-in.
constexpr int32_t kSignInNotSupported = 50;  // a second factor the exported API cannot take
constexpr int32_t kSignInUnparsable = 501;
constexpr int32_t kSignInPollTimedOut = 4082;
inline constexpr std::u16string_view kUnparsableText = u"2014 Unable to parse the authorization result";
inline constexpr std::u16string_view kPollTimedOutText =
    u"2039 Asynchronous authentication timed out, please try again";
inline constexpr std::u16string_view kNotSupportedText = u"Not supported";
inline constexpr std::u16string_view kTimeOutText =
    u"Request time out.The network or the server might be unavailable";

// The auth URL (or, when empty, the setting "AuthUrl") cut before its first "/api", ending in "/".
std::u16string ServerRoot(std::u16string_view authUrl);

// Runs one complete password or token sign-in, polling included; reports through the context and
// UM_SIGNIN_RESULT.
void passwordSignIn(const std::u16string& serial, SignInContext& context);

// POSTs to the server root plus `path` and keeps the "key" in `serverPublicKey`; false when it failed
// (reported).
bool fetchPublicKey(std::u16string_view path, SignInContext& context);

// "key:base64" of the RSA encryption of "value\nmillis"; empty without a key or when encryption fails.
std::u16string encryptCredential(std::u16string_view value);

// Replaces the body's closing "}" by the device block.
void appendDeviceInfo(std::u16string& body, std::u16string_view serial);

// Interprets one sign-in answer. `resend` asks the caller to send the request again with the
// "requestIdForPoll" variant of its body, carrying `requestIdForPoll`.
void handleSignInAnswer(uint32_t result, uint32_t status, std::u16string_view answer,
                        std::u16string_view snHeader, bool external, SignInContext& context,
                        std::u16string& requestIdForPoll, bool& resend);

// The common error report of a failed request (result code, message, UM_SIGNIN_RESULT).
void reportRequestFailure(std::u16string_view answer, uint32_t result, uint32_t status,
                          SignInContext& context);

}  // namespace velora
