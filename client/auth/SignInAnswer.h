// One sign-in answer read once into a record, and the next step it asks for: pure functions of the
// answer's text (no settings, no window, no network), so every kind of answer can be tested as a table
// and fuzzed. The sign-in applies the record afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

struct SignInAnswer {
    std::u16string token;             // "X-KX-AUTH-HEADER", only where it stands as a key
    std::u16string phoneNumber;       // SMS step
    std::u16string middleToken;       // SMS step
    std::u16string requestIdForPoll;  // out-of-band approval
    std::u16string checkUrl;          // "authResultCheckUrl"
    int32_t checkInterval = 0;        // "authResultCheckInterval", seconds
    int32_t checkTimes = 0;           // "authResultCheckTimes"
    std::u16string otpMiddleToken;    // one-time-password step
    std::u16string otpKey;            // secret to bind; empty when already bound
    std::u16string accountName;
    std::u16string otpRecoverCode;
    std::u16string processList;  // "windowsProcessNameExpression"
    std::u16string osList;       // the text of the array "windowsVersionList"
};

// The sign-in token of an answer, taken only where "X-KX-AUTH-HEADER" stands as a key with a string
// value: the same word inside some other value (a note, a message) never yields a token.
std::u16string ReadAuthToken(std::u16string_view answer);

// Reads every field the sign-in acts on (missing ones keep their defaults).
SignInAnswer ParseSignInAnswer(std::u16string_view answer);

enum class SignInStep { SignedIn, OneTimePassword, Sms, Unparsable, Poll };

// What a successful answer (status 200) leads to, the first rule that applies winning: a token signs in;
// a one-time-password middle token starts that step unless the answer came to a code submission
// (`otpCodePage`); a phone number or SMS middle token starts the SMS step; an answer without a request
// ID and check URL, or one of an external sign-in (which never polls), cannot be used; else poll.
SignInStep DecideSignInStep(const SignInAnswer& answer, bool otpCodePage, bool external);

}  // namespace velora
