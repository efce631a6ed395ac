// The URL rule both transports share: what is refused and how an accepted URL is split.
#include <gtest/gtest.h>

#include "platform/HttpUrl.h"

namespace {

struct UrlCase {
    const char16_t* url;
    uint32_t error;
    const char16_t* scheme = u"";
    const char16_t* host = u"";
    unsigned port = 0;
    const char16_t* object = u"";
};

TEST(HttpUrl, RefusesWhatNoRequestCanUseAndSplitsTheRest) {
    using platform::kHttpErrorInvalidUrl;
    using platform::kHttpErrorUnrecognizedScheme;
    const UrlCase cases[] = {
        {u"http://127.0.0.1:8080/t/x?a=1", 0, u"http", u"127.0.0.1", 8080, u"/t/x?a=1"},
        {u"HTTPS://Example.test", 0, u"https", u"Example.test", 443, u"/"},
        {u"http://host?q", 0, u"http", u"host", 80, u"/?q"},
        {u"http://user:pw@host:81/p#frag", 0, u"http", u"host", 81, u"/p"},
        {u"https://[::1]:8443/x", 0, u"https", u"[::1]", 8443, u"/x"},
        {u"https://[::1]/x", 0, u"https", u"[::1]", 443, u"/x"},
        {u"127.0.0.1:80/x", kHttpErrorUnrecognizedScheme},
        {u"://host/x", kHttpErrorUnrecognizedScheme},
        {u"1http://host/x", kHttpErrorUnrecognizedScheme},
        {u"ht tp://host/x", kHttpErrorUnrecognizedScheme},
        {u"http:///x", kHttpErrorInvalidUrl},
        {u"http://:80/x", kHttpErrorInvalidUrl},
        {u"http://[]/x", kHttpErrorInvalidUrl},
        {u"http://[::1/x", kHttpErrorInvalidUrl},
        {u"http://[::1]x/", kHttpErrorInvalidUrl},
        {u"http://host:/x", kHttpErrorInvalidUrl},
        {u"http://host:0/x", kHttpErrorInvalidUrl},
        {u"http://host:65536/x", kHttpErrorInvalidUrl},
        {u"http://host:99999/x", kHttpErrorInvalidUrl},
        {u"http://host:123456/x", kHttpErrorInvalidUrl},
        {u"http://host:8o/x", kHttpErrorInvalidUrl},
        {u"http://ho st/x", kHttpErrorInvalidUrl},
        {u"http://ho\\st/x", kHttpErrorInvalidUrl},
    };
    for (const UrlCase& c : cases) {
        const std::u16string url = c.url;
        SCOPED_TRACE(std::string(url.begin(), url.end()));
        platform::HttpUrlParts parts;
        ASSERT_EQ(platform::SplitHttpUrl(url, parts), c.error);
        if (c.error != 0) continue;
        EXPECT_EQ(parts.scheme, c.scheme);
        EXPECT_EQ(parts.host, c.host);
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.object, c.object);
    }
}

}  // namespace
