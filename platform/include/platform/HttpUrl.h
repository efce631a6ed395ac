// Which URLs a request may use, and their parts: one rule for both transports, checked before WinINet's
// parser on Windows and in place of one on the host, so that a URL is refused alike on both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemErrors.h"

namespace platform {

struct HttpUrlParts {
    std::u16string scheme;  // lower case
    std::u16string host;    // an IPv6 literal keeps its brackets
    unsigned port = 0;      // the URL's, or the scheme's default
    std::u16string object;  // path and query, always starting with "/", without a fragment
};

// 0, or kHttpErrorUnrecognizedScheme for a missing or malformed scheme, or kHttpErrorInvalidUrl for an
// empty or malformed host and for a port that is not 1 to 65535 (the Windows parser keeps 16 bits of a
// port, so 99999 would quietly become another port; "host:" without a port is refused too).
inline uint32_t SplitHttpUrl(std::u16string_view url, HttpUrlParts& out) {
    const auto schemeEnd = url.find(u"://");
    if (schemeEnd == std::u16string_view::npos || schemeEnd == 0) return kHttpErrorUnrecognizedScheme;
    std::u16string scheme;
    for (std::size_t i = 0; i < schemeEnd; ++i) {
        const char16_t c = url[i];
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other)) return kHttpErrorUnrecognizedScheme;
        scheme += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    }
    const std::size_t start = schemeEnd + 3;
    std::size_t end = url.find_first_of(u"/?#", start);
    if (end == std::u16string_view::npos) end = url.size();
    std::u16string_view authority = url.substr(start, end - start);
    if (const auto at = authority.rfind(u'@'); at != std::u16string_view::npos)
        authority.remove_prefix(at + 1);

    std::u16string_view host;
    std::size_t portStart = std::u16string_view::npos;
    if (!authority.empty() && authority[0] == u'[') {
        const auto close = authority.find(u']');
        if (close == std::u16string_view::npos || close == 1) return kHttpErrorInvalidUrl;
        host = authority.substr(0, close + 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != u':') return kHttpErrorInvalidUrl;
            portStart = close + 2;
        }
    } else {
        const auto colon = authority.find(u':');
        host = authority.substr(0, colon);
        if (colon != std::u16string_view::npos) portStart = colon + 1;
    }
    if (host.empty()) return kHttpErrorInvalidUrl;
    for (const char16_t c : host) {
        if (c <= u' ' || c == u'\\') return kHttpErrorInvalidUrl;
    }
    unsigned port = 0;
    if (portStart != std::u16string_view::npos) {
        const std::u16string_view text = authority.substr(portStart);
        if (text.empty() || text.size() > 5) return kHttpErrorInvalidUrl;
        for (const char16_t c : text) {
            if (c < u'0' || c > u'9') return kHttpErrorInvalidUrl;
            port = port * 10 + static_cast<unsigned>(c - u'0');
        }
        if (port == 0 || port > 65535) return kHttpErrorInvalidUrl;
    } else if (scheme == u"http") {
        port = 80;
    } else if (scheme == u"ftp") {
        port = 21;
    } else if (scheme == u"gopher") {
        port = 70;
    } else {
        port = 443;
    }
    std::u16string_view rest = url.substr(end);
    if (const auto hash = rest.find(u'#'); hash != std::u16string_view::npos) rest = rest.substr(0, hash);
    std::u16string object;
    if (rest.empty() || rest[0] != u'/') object = u"/";
    object.append(rest);
    out.scheme = std::move(scheme);
    out.host = std::u16string(host);
    out.port = port;
    out.object = std::move(object);
    return 0;
}

}  // namespace platform
