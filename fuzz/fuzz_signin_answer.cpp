// Feeds arbitrary bytes to the reading of a sign-in answer and the choice of its next step: the answer
// comes from the network. Any crash, out-of-bounds access or undefined behaviour is a finding, and so is
// a step that contradicts the record it was chosen from.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "auth/SignInAnswer.h"

namespace {

void CheckAt(bool condition, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_signin_answer: check on line %d failed\n", line);
    std::abort();
}
#define Check(condition) CheckAt((condition), __LINE__)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace velora;
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
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
