// SMS verification workers: sending the code with delivery-status polling, and verifying the typed code
// by a sign-in request that carries it. Each reports to the SMS dialog only by window messages.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "auth/SignInState.h"
#include "core/ResultCodes.h"
#include "platform/Kernel.h"
#include "platform/Types.h"

namespace velora {

// Messages to the SMS dialog.
constexpr uint32_t UM_SMS_SEND_RESULT = 1024 + 11;    // 4080 sending started; 0 delivered; else a code
constexpr uint32_t UM_SMS_VERIFY_RESULT = 1024 + 12;  // 0 signed in; 4083 device binding; else a code

constexpr int32_t kSmsSending = 4080;
constexpr int32_t kSmsNoCode = 4081;  // status answer without "code"; or an answer with no outcome
constexpr int32_t kSmsPollTimedOut = kCodePollTimedOut;
constexpr int32_t kSmsBindDevice = 4083;
constexpr int32_t kSmsStillSending = 427;
constexpr int kSmsStatusChecks = 5;
constexpr uint32_t kSmsStatusIntervalMs = 3000;

// The "accountName" of an answer that demands device binding; cleared when a verification starts.
extern CSharedText smsAccountName;

// What one SMS worker needs, copied from the dialog (each worker gets its own).
struct SmsRequest {
    std::u16string customerId;
    std::u16string userName;  // as the login window escaped it for the sign-in request
    std::u16string url;       // the send URL, or the auth URL for the verification
    std::u16string phoneNumber;
    std::u16string code;
    std::u16string password;  // clear, as escaped by the login window
    std::u16string smsMiddleToken;
    platform::WindowHandle dialog = nullptr;       // receives the results
    platform::WindowHandle loginWindow = nullptr;  // the device block is sent only while it exists
};

// "AuthUrl" cut before its last "/", followed by "/verification/send".
std::u16string SmsSendUrl(std::u16string_view authUrl);
// The send URL cut before its first "/api", followed by "/api/smsStatus".
std::u16string SmsStatusUrl(std::u16string_view sendUrl);

// The worker bodies, run on the calling thread.
void sendSmsCode(const SmsRequest& request);
void verifySmsCode(const SmsRequest& request);

// Each on a new worker thread; null (with the system error in `error`) when it cannot start.
std::unique_ptr<platform::Thread> StartSendSmsCode(SmsRequest request, uint32_t& error);
std::unique_ptr<platform::Thread> StartVerifySmsCode(SmsRequest request, uint32_t& error);

}  // namespace velora
