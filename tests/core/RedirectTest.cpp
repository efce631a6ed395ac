// The redirect reader over what a browser (or anything else) may hand back.
#include <gtest/gtest.h>

#include "auth/Redirect.h"

namespace velora {
namespace {

TEST(Redirect, ParameterValues) {
    struct Case {
        const char16_t* url;
        const char16_t* name;
        const char16_t* value;
    } cases[] = {
        {u"com.halvane://redirect?code=abc&state=XYZ", u"code", u"abc"},
        {u"com.halvane://redirect?code=abc&state=XYZ", u"state", u"XYZ"},
        {u"com.halvane://redirect?state=XYZ", u"code", u""},
        {u"com.halvane://redirect", u"state", u""},
        {u"com.halvane://redirect?code=", u"code", u""},
        {u"com.halvane://redirect?code", u"code", u""},
        {u"com.halvane://redirect?error=access%20denied%27s&state=1", u"error", u"access denied's"},
        {u"com.halvane://redirect?code=a%2Fb%%25%2", u"code", u"a%2Fb%%25%2"},
        {u"com.halvane://redirect?code=x%2", u"code", u"x%2"},
        {u"com.halvane://redirect?code=x%20", u"code", u"x "},
        {u"com.halvane://redirect?code=a&&state=", u"code", u"a"},
        {u"", u"code", u""},
        {u"com.halvane://redirect?code=abc", u"", u""},
        // The name is found anywhere, as the service's providers expect.
        {u"com.halvane://redirect?xcode=1&code=2", u"code", u"1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RedirectParameter(c.url, c.name), c.value);
    }
}

TEST(Redirect, StateMustOccurWhenTheRequestCarriedIt) {
    const std::u16string url = u"com.halvane://redirect?code=1&state=K3Y9QW0ZZA";
    EXPECT_TRUE(RedirectStateMatches(url, u"", u"%state", u"K3Y9QW0ZZA"));
    EXPECT_TRUE(RedirectStateMatches(url, u"{\"key\":\"s\",\"value\":\"%state\"}", u"", u"K3Y9QW0ZZA"));
    EXPECT_FALSE(RedirectStateMatches(url, u"", u"%state", u"AAAAAAAAAA"));
    EXPECT_FALSE(RedirectStateMatches(u"com.halvane://redirect?code=1", u"", u"%state", u"K3Y9QW0ZZA"));
    EXPECT_FALSE(RedirectStateMatches(url, u"", u"%state", u"")) << "an empty state never matches";
    // A request without the state placeholder takes any redirect.
    EXPECT_TRUE(RedirectStateMatches(u"com.halvane://redirect?code=1", u"", u"fixed", u"K3Y9QW0ZZA"));
}

}  // namespace
}  // namespace velora
