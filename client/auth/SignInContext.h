// The record a sign-in runs on: the login window embeds one, the exported ValidateUser builds one on its
// stack. The sign-in worker reads and writes its fields in place.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace velora {

struct SignInContext {
    std::u16string customerId;  // decimal digits as typed (validated by the callers)
    std::u16string userName;
    std::u16string password;                        // clear text, never stored
    std::u16string authUrl;                         // per-customer authentication endpoint; empty until known
    std::u16string authToken;                       // token of an earlier or of this sign-in
    std::u16string smsMiddleToken;                  // pending SMS verification
    std::u16string message;                         // result text for the caller
    int32_t resultCode = 0;                         // 0 on success, else the code that goes with `message`
    platform::WindowHandle notifyWindow = nullptr;  // none for the exported API: no window messages
    std::u16string otpMiddleToken;                  // pending one-time-password step
    std::u16string otpCode;                         // six digits typed on the one-time-password page
};

}  // namespace velora
