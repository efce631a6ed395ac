// Name resolution through the platform resolver. Only loopback names and a name that no resolver can put
// into a query (a label over 63 bytes) are resolved, so no test sends anything off the machine.
#include <gtest/gtest.h>

#include "core/HostResolve.h"

using namespace velora;

namespace {

// Every comma-separated address of the list equals `address` (a resolver may repeat an address).
bool AllAddressesAre(std::u16string_view list, std::u16string_view address) {
    if (list.empty()) return false;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(u',', start);
        if (end == std::u16string_view::npos) end = list.size();
        if (list.substr(start, end - start) != address) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

TEST(ResolveHostIpv4, LoopbackNamesGiveTheLoopbackAddress) {
    for (const std::u16string_view host :
         {std::u16string_view(u"localhost"), std::u16string_view(u"127.0.0.1")}) {
        std::u16string out = u"stale";
        ASSERT_TRUE(ResolveHostIpv4(host, out)) << std::string(out.begin(), out.end());
        EXPECT_TRUE(AllAddressesAre(out, u"127.0.0.1")) << std::string(out.begin(), out.end());
    }
}

TEST(ResolveHostIpv4, OnlyIpv6ResultsGiveAnEmptyList) {
    std::u16string out = u"stale";
    ASSERT_TRUE(ResolveHostIpv4(u"::1", out));
    EXPECT_EQ(out, u"");
}

TEST(ResolveHostIpv4, UnknownNameReportsTheResolverCode) {
    std::u16string out = u"stale";
    EXPECT_FALSE(ResolveHostIpv4(
        u"velora-test-name-that-no-resolver-can-ask-for-because-its-label-is-too-long-xyz.invalid", out));
    const std::u16string_view prefix = u"Failed to call GetAddrInfo with error code ";
    ASSERT_TRUE(out.starts_with(prefix)) << std::string(out.begin(), out.end());
    const std::u16string code = out.substr(prefix.size());
    ASSERT_FALSE(code.empty());
    EXPECT_NE(code, u"0");
    EXPECT_EQ(code.find_first_not_of(u"0123456789"), std::u16string::npos)
        << std::string(code.begin(), code.end());
}
