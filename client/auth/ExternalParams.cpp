// Provider parameters and the authorization URL. The answer is cut by the shared field readers, so a
// mangled answer gives empty or default values, never a failure.
#include "auth/ExternalParams.h"

#include "core/JsonFields.h"
#include "core/TextHelpers.h"

namespace velora {
namespace {

QueryParam ReadParam(std::u16string_view answer, std::u16string_view name) {
    const std::u16string object = GetObjectField(answer, name, u"");
    if (object.empty()) return {};
    // The object text starts with its own name; the pair is read from what follows it.
    const std::u16string_view inside = std::u16string_view(object).substr(name.size());
    return {GetStringField(inside, u"key", u""), GetStringField(inside, u"value", u"")};
}

// The text between "[" and the first "]" after the key, or empty.
std::u16string_view ArrayText(std::u16string_view answer, std::u16string_view key) {
    const std::size_t p = answer.find(key);
    if (p == std::u16string_view::npos) return {};
    const std::u16string_view rest = answer.substr(p + key.size());
    const std::size_t open = rest.find(u'[');
    if (open == std::u16string_view::npos) return {};
    const std::size_t close = rest.find(u']', open);
    if (close == std::u16string_view::npos) return {};
    return rest.substr(open + 1, close - open - 1);
}

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    if (from.empty()) return;
    for (std::size_t p = text.find(from); p != std::u16string::npos; p = text.find(from, p + to.size())) {
        text.replace(p, from.size(), to);
    }
}

void AddParam(std::u16string& query, const QueryParam& param) {
    if (param.key.empty() || param.value.empty()) return;
    query += param.key;
    query += u'=';
    query += param.value;
    query += u'&';
}

}  // namespace

ProviderParameters ReadProviderParameters(std::u16string_view answer) {
    ProviderParameters p;
    p.authorizationCodeUrl = GetStringField(answer, u"authorizationCodeUrl", u"");
    p.clientIdParam = ReadParam(answer, u"clientIdParam");
    p.redirectUriParam = ReadParam(answer, u"redirectUriParam");
    p.stateParam = ReadParam(answer, u"stateParam");
    p.scopeParam = ReadParam(answer, u"scopeParam");
    p.codeChallengeParam = ReadParam(answer, u"codeChallengeParam");
    const std::u16string_view array = ArrayText(answer, u"reqQuery");
    p.reqQueryText = std::u16string(array);
    // Elements are split at "}": the values are plain words, and a brace inside one only cuts it short.
    std::size_t start = 0;
    while (start < array.size()) {
        std::size_t end = array.find(u'}', start);
        if (end == std::u16string_view::npos) end = array.size();
        const std::u16string_view element = array.substr(start, end - start);
        if (element.find(u'{') != std::u16string_view::npos) {
            p.reqQuery.push_back(
                {GetStringField(element, u"key", u""), GetStringField(element, u"value", u"")});
        }
        start = end + 1;
    }
    p.pkceEnable = GetBoolField(answer, u"pkceEnable", 0) != 0;
    p.codeChallengeMethod = GetStringField(answer, u"codeChallengeMethod", u"");
    p.codeLength = GetIntField(answer, u"codeLength", kDefaultPkceCodeLength);
    p.responseCodeKey = GetStringField(answer, u"responseCodeKey", u"");
    p.responseErrorKey = GetStringField(answer, u"responseErrorKey", u"");
    return p;
}

std::u16string buildAuthorizationUrl(std::u16string_view endpoint, bool pkce, const QueryParam& clientIdParam,
                                     const QueryParam& redirectUriParam, const QueryParam& stateParam,
                                     const QueryParam& scopeParam, const QueryParam& codeChallengeParam,
                                     const std::vector<QueryParam>& reqQuery, std::u16string_view state,
                                     std::u16string_view challenge) {
    if (endpoint.empty()) return {};
    std::u16string base(endpoint);
    if (base.back() != u'?') base += u'?';

    std::u16string query;
    for (const QueryParam& param : reqQuery) AddParam(query, param);
    if (pkce) AddParam(query, codeChallengeParam);
    AddParam(query, clientIdParam);
    AddParam(query, redirectUriParam);
    AddParam(query, stateParam);
    AddParam(query, scopeParam);
    if (!query.empty() && query.back() == u'&') query.pop_back();

    ReplaceAll(query, u"%redireuri", kExternalRedirectUri);
    if (pkce) ReplaceAll(query, u"%codechallenge", challenge);
    ReplaceAll(query, u"%state", state);
    return base + UrlEncode(query);
}

}  // namespace velora
