// The redirect reader works on whatever the browser (or anything else) put on the command line: it
// never reads outside the text and decodes only the two escapes the service's providers use.
#include "auth/Redirect.h"

namespace velora {

bool RedirectHasParameter(std::u16string_view url, std::u16string_view name) {
    return !name.empty() && url.find(name) != std::u16string_view::npos;
}

std::u16string RedirectParameter(std::u16string_view url, std::u16string_view name) {
    if (name.empty()) return {};
    const std::size_t p = url.find(name);
    if (p == std::u16string_view::npos) return {};
    const std::size_t start = p + name.size() + 1;
    if (start >= url.size()) return {};
    std::u16string_view value = url.substr(start);
    value = value.substr(0, value.find(u'&'));
    std::u16string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value.substr(i, 3) == u"%20") {
            out += u' ';
            i += 2;
        } else if (value.substr(i, 3) == u"%27") {
            out += u'\'';
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

bool RedirectStateMatches(std::u16string_view url, std::u16string_view reqQueryText,
                          std::u16string_view stateParamText, std::u16string_view state) {
    const bool sent = reqQueryText.find(u"%state") != std::u16string_view::npos ||
                      stateParamText.find(u"%state") != std::u16string_view::npos;
    if (!sent) return true;
    // An empty state would "occur" in any URL; a request that carried the placeholder never matches it.
    return !state.empty() && url.find(state) != std::u16string_view::npos;
}

}  // namespace velora
