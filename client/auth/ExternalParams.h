// The identity provider's parameters as the service hands them out, and the authorization URL built
// from them. The redirect URI is the custom scheme that the installer registers for this program.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora {

inline constexpr std::u16string_view kExternalRedirectUri = u"com.halvane://redirect";
inline constexpr int32_t kDefaultPkceCodeLength = 60;

// One query parameter of the authorization request.
struct QueryParam {
    std::u16string key;
    std::u16string value;
};

struct ProviderParameters {
    std::u16string authorizationCodeUrl;
    QueryParam clientIdParam;
    QueryParam redirectUriParam;
    QueryParam stateParam;
    QueryParam scopeParam;
    QueryParam codeChallengeParam;
    std::vector<QueryParam> reqQuery;
    std::u16string reqQueryText;  // the array as it came, for the "%state" test of the redirect
    bool pkceEnable = false;
    std::u16string codeChallengeMethod;
    int32_t codeLength = kDefaultPkceCodeLength;
    std::u16string responseCodeKey;
    std::u16string responseErrorKey;
};

// Reads every key from the whole answer text; missing keys keep their defaults.
ProviderParameters ReadProviderParameters(std::u16string_view answer);

// The provider's authorization URL: the endpoint, "?", then the non-empty parameters in the fixed order
// (reqQuery, the challenge with PKCE, client id, redirect URI, state, scope) with their placeholders
// filled and the query escaped. Empty for an empty endpoint.
std::u16string buildAuthorizationUrl(std::u16string_view endpoint, bool pkce, const QueryParam& clientIdParam,
                                     const QueryParam& redirectUriParam, const QueryParam& stateParam,
                                     const QueryParam& scopeParam, const QueryParam& codeChallengeParam,
                                     const std::vector<QueryParam>& reqQuery, std::u16string_view state,
                                     std::u16string_view challenge);

}  // namespace velora
