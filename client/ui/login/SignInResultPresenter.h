// The login presenter's reading of sign-in results: how the login window answers UM_SIGNIN_RESULT, which
// text it shows for a result code, whether it re-enables its form, and when it drops the stored
// credentials. Kept as data and one pure function (portable, tested on the host) so the Win32 dialog only
// carries the decision out.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/WorkerMessage.h"

namespace velora {

struct SignInResultView {
    bool admissionCheck = false;     // 0: check the process rule and the system list, then save and close
    bool rebuildPage = false;        // 10001: `LoginPage` changed
    bool reEnableForm = false;       // every non-zero code but 4091
    bool startRetryTimer = false;    // 4091: timer 1004 (5000 ms), form stays disabled
    bool bringToFront = false;       // 4095: disable the form again and come to the front
    bool informational = false;      // the text is information (4091), not an error
    bool dropCredentials = false;    // clear the token, the password box, "Password" and "AuthToken"
    bool showDeviceBinding = false;  // the modal device-binding dialog
    std::u16string text;             // what the banner and the log show; empty: nothing
};

// `text` is the string a sent message carried (empty for a posted one); `number` the numeric lParam of
// 4081 and 4092.
SignInResultView DescribeSignInResult(int32_t code, std::u16string_view text, intptr_t number);
// The same for a decoded worker message.
inline SignInResultView DescribeSignInResult(const WorkerMessage& message) {
    return DescribeSignInResult(message.code, message.text, message.number);
}

}  // namespace velora
