// Feeds arbitrary bytes to the external sign-in's redirect reader, the provider-parameter reader and the
// authorization URL builder: the redirect comes from whatever started the program a second time, the
// parameters from the service. Any crash, out-of-bounds access or undefined behaviour is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "auth/ExternalParams.h"
#include "auth/Redirect.h"

namespace {

void CheckAt(bool condition, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_redirect: check on line %d failed\n", line);
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
