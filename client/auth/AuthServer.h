// The conversation with the customer's auth server that every sign-in shares: its root URL, the public
// key and the encrypted credentials, the device block of a request, and the report of a failed request
// (result code, message, UM_SIGNIN_RESULT).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "auth/SignInContext.h"

namespace velora {

inline constexpr std::u16string_view kPublicKeyPath = u"s/mobile/pubkey/obtain";

// The auth URL (or, when empty, the setting "AuthUrl") cut before its first "/api", ending in "/".
std::u16string ServerRoot(std::u16string_view authUrl);

// POSTs to the server root plus `path` and keeps the "key" in `serverPublicKey`; false when it failed
// (reported).
bool fetchPublicKey(std::u16string_view path, SignInContext& context);

// "key:base64" of the RSA encryption of "value\nmillis"; empty without a key or when encryption fails.
std::u16string encryptCredential(std::u16string_view value);

// Replaces the body's closing "}" by the device block.
void appendDeviceInfo(std::u16string& body, std::u16string_view serial);

// The common error report of a failed request (result code, message, UM_SIGNIN_RESULT).
void reportRequestFailure(std::u16string_view answer, uint32_t result, uint32_t status,
                          SignInContext& context);

// Ends a run: the code and message in the context, the code posted as UM_SIGNIN_RESULT.
void failSignIn(SignInContext& context, int32_t code, std::u16string message);
// Posts UM_SIGNIN_RESULT with the code alone.
void postSignInResult(SignInContext& context, int32_t code);

}  // namespace velora
