// Provider parameters and the authorization URL built from them.
#include <gtest/gtest.h>

#include <string>

#include "auth/ExternalParams.h"

namespace velora {
namespace {

const std::u16string kAnswer =
    u"{\"code\":0,\"authCodeConfig\":{\"authorizationCodeUrl\":\"https://idp.example/authorize\","
    u"\"clientIdParam\":{\"key\":\"client_id\",\"value\":\"velora\"},"
    u"\"redirectUriParam\":{\"key\":\"redirect_uri\",\"value\":\"%redireuri\"},"
    u"\"stateParam\":{\"key\":\"state\",\"value\":\"%state\"},"
    u"\"scopeParam\":{\"key\":\"scope\",\"value\":\"openid profile\"},"
    u"\"codeChallengeParam\":{\"key\":\"code_challenge\",\"value\":\"%codechallenge\"},"
    u"\"reqQuery\":[{\"key\":\"response_type\",\"value\":\"code\"},{\"key\":\"prompt\",\"value\":\"\"},"
    u"{\"key\":\"code_challenge_method\",\"value\":\"S256\"}],"
    u"\"pkceEnable\":true,\"codeChallengeMethod\":\"S256\",\"codeLength\":64,"
    u"\"responseCodeKey\":\"code\",\"responseErrorKey\":\"error\"}}";

std::u16string Build(const ProviderParameters& p, bool pkce) {
    return buildAuthorizationUrl(p.authorizationCodeUrl, pkce, p.clientIdParam, p.redirectUriParam,
                                 p.stateParam, p.scopeParam, p.codeChallengeParam, p.reqQuery, u"STATE12345",
                                 u"CHAL-_x");
}

TEST(ExternalParams, ReadsEveryKey) {
    const ProviderParameters p = ReadProviderParameters(kAnswer);
    EXPECT_EQ(p.authorizationCodeUrl, u"https://idp.example/authorize");
    EXPECT_EQ(p.clientIdParam.key, u"client_id");
    EXPECT_EQ(p.clientIdParam.value, u"velora");
    EXPECT_EQ(p.scopeParam.value, u"openid profile");
    ASSERT_EQ(p.reqQuery.size(), 3u);
    EXPECT_EQ(p.reqQuery[2].key, u"code_challenge_method");
    EXPECT_TRUE(p.pkceEnable);
    EXPECT_EQ(p.codeLength, 64);
    EXPECT_EQ(p.responseCodeKey, u"code");
    EXPECT_EQ(p.responseErrorKey, u"error");
}

TEST(ExternalParams, MangledAnswersGiveDefaults) {
    for (const char16_t* answer :
         {u"", u"{", u"{\"reqQuery\":[", u"{\"reqQuery\":[{]}", u"{\"clientIdParam\":{",
          u"{\"codeLength\":\"129\"}", u"\"authCodeConfig\":null", u"{\"pkceEnable\":1}"}) {
        const ProviderParameters p = ReadProviderParameters(answer);
        EXPECT_TRUE(p.authorizationCodeUrl.empty());
        EXPECT_FALSE(p.pkceEnable);
        EXPECT_TRUE(p.clientIdParam.key.empty());
    }
    EXPECT_EQ(ReadProviderParameters(u"{}").codeLength, kDefaultPkceCodeLength);
    EXPECT_EQ(ReadProviderParameters(u"{\"codeLength\":129}").codeLength, 129);
}

TEST(ExternalParams, AuthorizationUrlOrderPlaceholdersAndEscapes) {
    const ProviderParameters p = ReadProviderParameters(kAnswer);
    EXPECT_EQ(
        Build(p, true),
        u"https://idp.example/authorize?response_type=code&code_challenge_method=S256&"
        u"code_challenge=CHAL-_x&client_id=velora&redirect_uri=com.halvane%3A//redirect&state=STATE12345&"
        u"scope=openid%20profile");
    // Without PKCE the challenge parameter is left out.
    EXPECT_EQ(Build(p, false),
              u"https://idp.example/authorize?response_type=code&code_challenge_method=S256&client_id=velora&"
              u"redirect_uri=com.halvane%3A//redirect&state=STATE12345&scope=openid%20profile");
}

TEST(ExternalParams, EndpointAndEmptyParameters) {
    const QueryParam none;
    EXPECT_TRUE(buildAuthorizationUrl(u"", false, none, none, none, none, none, {}, u"S", u"C").empty());
    EXPECT_EQ(buildAuthorizationUrl(u"https://i/a?", false, none, none, none, none, none, {}, u"S", u"C"),
              u"https://i/a?");
    EXPECT_EQ(buildAuthorizationUrl(u"https://i/a", false, {u"c", u"v"}, {u"r", u""}, {u"", u"x"}, none, none,
                                    {{u"k", u"{a|b}"}}, u"S", u"C"),
              u"https://i/a?k=%7Ba%7Cb%7D&c=v");
}

}  // namespace
}  // namespace velora
