// Feeds arbitrary bytes to the external sign-in's redirect reader, the provider-parameter reader and the
// authorization URL builder: the redirect comes from whatever started the program a second time, the
// parameters from the service. Any crash, out-of-bounds access or undefined behaviour is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_TARGET_NAME "fuzz_redirect"
#include "FuzzCheck.h"
#include "auth/ExternalParams.h"
#include "auth/Redirect.h"
#include "platform/Utf16Le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace velora;
    const std::u16string text = platform::DecodeUtf16Le(data, size);
    const std::u16string_view all(text);
    // Split into a parameter name and a URL at the first unit 0x1F (or take fixed names).
    const std::size_t cut = all.find(u'\x1f');
    const std::u16string_view name = cut == std::u16string_view::npos ? u"code" : all.substr(0, cut);
    const std::u16string_view url = cut == std::u16string_view::npos ? all : all.substr(cut + 1);

    for (std::u16string_view key : {name, std::u16string_view(u"code"), std::u16string_view(u"state"),
                                    std::u16string_view(u"error"), std::u16string_view(u"")}) {
        const std::u16string value = RedirectParameter(url, key);
        Check(value.size() <= url.size());
    }
    (void)RedirectStateMatches(url, name, all, u"ABCDEFGHIJ");
    (void)RedirectStateMatches(url, u"%state", u"", u"");

    const ProviderParameters p = ReadProviderParameters(all);
    const std::u16string built = buildAuthorizationUrl(
        p.authorizationCodeUrl, p.pkceEnable, p.clientIdParam, p.redirectUriParam, p.stateParam, p.scopeParam,
        p.codeChallengeParam, p.reqQuery, u"STATE", u"CHALLENGE");
    Check(p.authorizationCodeUrl.empty() == built.empty());
    return 0;
}
