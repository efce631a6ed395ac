// The one rule for the service's header lines, as a table, and a service request end to end against the
// stand-in: the lines arrive in that order and the answer comes back with its status and text.
#include <gtest/gtest.h>

#include <vector>

#include "core/ServiceRequest.h"
#include "platform/Http.h"
#include "support/CloudSim.h"

namespace velora {
namespace {

TEST(ServiceRequest, LinesFollowOneRule) {
    struct Case {
        const char* name;
        ServiceRequest request;
        std::vector<std::u16string> lines;
    } cases[] = {
        {"nothing of the service's own", {.url = u"u"}, {}},
        {"device", {.url = u"u", .serial = u"S1"}, {u"sn:S1", u"type:windows"}},
        {"device and token",
         {.url = u"u", .serial = u"S1", .token = u"T"},
         {u"sn:S1", u"X-KX-AUTH-HEADER:T", u"type:windows"}},
        {"own line first",
         {.url = u"u", .serial = u"S1", .ownLine = u"middleToken:M"},
         {u"middleToken:M", u"sn:S1", u"type:windows"}},
        {"token alone", {.url = u"u", .token = u"T"}, {u"X-KX-AUTH-HEADER:T"}},
        {"token first",
         {.url = u"u", .serial = u"S1", .token = u"T", .tokenFirst = true},
         {u"X-KX-AUTH-HEADER:T", u"sn:S1", u"type:windows"}},
        {"token first without one",
         {.url = u"u", .serial = u"S1", .tokenFirst = true},
         {u"sn:S1", u"type:windows"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ServiceLines(c.request), c.lines);
    }
}

TEST(ServiceRequest, PostCarriesTheLinesAndReturnsStatusAndText) {
    test::CCloudSimAccess sim;
    ASSERT_TRUE(sim.Open());
    const std::u16string path = test::CCloudSimAccess::UniquePath(u"service");
    sim.Answer(u"{\"path\":\"" + path + u"\",\"status\":401,\"body\":{\"code\":1007}}");
    const ServiceAnswer answer =
        PostJson({.url = sim.Url("http") + path, .body = u"{}", .serial = u"S1", .token = u"T"});
    EXPECT_EQ(answer.transport, 0u);
    EXPECT_EQ(answer.status, 401u);
    EXPECT_FALSE(answer.Succeeded());
    EXPECT_EQ(answer.text, u"{\"code\":1007}");
    const std::string headers = sim.Last(path, u"headers");
    const auto sn = headers.find("sn: S1\r\n");
    const auto auth = headers.find("X-KX-AUTH-HEADER: T\r\n");
    const auto type = headers.find("type: windows\r\n");
    ASSERT_NE(sn, std::string::npos) << headers;
    ASSERT_NE(auth, std::string::npos) << headers;
    ASSERT_NE(type, std::string::npos) << headers;
    EXPECT_LT(sn, auth);
    EXPECT_LT(auth, type);
}

}  // namespace
}  // namespace velora
