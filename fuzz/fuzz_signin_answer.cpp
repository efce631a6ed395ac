// Feeds arbitrary bytes to the reading of a sign-in answer and the choice of its next step: the answer
// comes from the network. Any crash, out-of-bounds access or undefined behaviour is a finding, and so is
// a step that contradicts the record it was chosen from.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_TARGET_NAME "fuzz_signin_answer"
#include "FuzzCheck.h"
#include "auth/SignInAnswer.h"
#include "platform/Utf16Le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace velora;
    const std::u16string text = platform::DecodeUtf16Le(data, size);
    const SignInAnswer a = ParseSignInAnswer(text);
    for (const bool otpCodePage : {false, true}) {
        for (const bool external : {false, true}) {
            const SignInStep step = DecideSignInStep(a, otpCodePage, external);
            Check((step == SignInStep::SignedIn) == !a.token.empty());
            if (step == SignInStep::Poll) {
                Check(!external && !a.requestIdForPoll.empty() && !a.checkUrl.empty());
            }
            if (step == SignInStep::OneTimePassword) Check(!otpCodePage && !a.otpMiddleToken.empty());
        }
    }
    // A token is never longer than the answer it came from.
    Check(a.token.size() <= text.size());
    return 0;
}
