// PKCE values: drawn from the cryptographic source with the service's alphabet and length, kept as the
// sign-in expects, and the S256 challenge against the published example.
#include <gtest/gtest.h>

#include <set>

#include "auth/Pkce.h"

namespace velora {
namespace {

bool InAlphabet(const std::u16string& text) {
    return text.find_first_not_of(kPkceAlphabet) == std::u16string::npos;
}

TEST(Pkce, StateIsTenCharactersKeptForTheProcess) {
    const std::u16string state = pkceStateValue();
    EXPECT_EQ(state.size(), kPkceStateLength);
    EXPECT_TRUE(InAlphabet(state));
    EXPECT_EQ(pkceStateValue(), state);
}

TEST(Pkce, VerifierIsReusedForTheSameLengthOnly) {
    const std::u16string first = pkceCodeVerifier(60);
    EXPECT_EQ(first.size(), 60u);
    EXPECT_TRUE(InAlphabet(first));
    EXPECT_EQ(pkceCodeVerifier(60), first);
    const std::u16string longest = pkceCodeVerifier(128);
    EXPECT_EQ(longest.size(), 128u);
    EXPECT_NE(pkceCodeVerifier(60), first) << "a new length makes a new verifier";
    for (int bad : {0, -1, 129, 100000}) EXPECT_TRUE(pkceCodeVerifier(bad).empty()) << bad;
}

TEST(Pkce, RandomTextsDoNotRepeatAndUseEveryCharacter) {
    // 200 draws of 43 characters: a time-seeded generator started twice in one second would repeat;
    // every one of the 36 characters must show up.
    std::set<std::u16string> seen;
    std::set<char16_t> characters;
    for (int i = 0; i < 200; ++i) {
        const std::u16string text = RandomAlphanumeric(43);
        ASSERT_EQ(text.size(), 43u);
        seen.insert(text);
        characters.insert(text.begin(), text.end());
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_EQ(characters.size(), kPkceAlphabet.size());
}

TEST(Pkce, ChallengeFollowsTheMethod) {
    // The example verifier and challenge published with PKCE.
    const std::u16string verifier = u"dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
    const std::u16string expected = u"E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
    EXPECT_EQ(pkceCodeChallenge(verifier, u"S256"), expected);
    EXPECT_EQ(pkceCodeChallenge(verifier, u"s256"), expected);
    EXPECT_EQ(pkceCodeChallenge(verifier, u"plain"), verifier);
    EXPECT_EQ(pkceCodeChallenge(verifier, u""), verifier);
    EXPECT_EQ(pkceCodeChallenge(verifier, u"S2566"), verifier);
    EXPECT_TRUE(pkceCodeChallenge(u"", u"S256").empty());
    EXPECT_TRUE(pkceCodeChallenge(u"caf\u00e9", u"S256").empty());
}

}  // namespace
}  // namespace velora
