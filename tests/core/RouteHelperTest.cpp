// The route helper against the simulated routing table (the same on the host and under Wine, where route
// creation and deletion change nothing): conversion of route items, the refusal of anything that is not a
// dotted IPv4 network, tunnel, DNS and gateway routes, the choice of the gateway template, removal of the
// first matching row, the default-route interface, and the service-log lines of every failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "logic/FileServiceStore.h"
#include "logic/RouteHelperLogic.h"
#include "logic/RouteText.h"
#include "logic/SimulatedNetwork.h"
#include "support/LogFiles.h"

using namespace corvane;

namespace {

// Addresses in the table's byte order: the first dotted part in the lowest byte.
constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a | (b << 8) | (c << 16) | (d << 24);
}
constexpr uint32_t kHost = 0xFFFFFFFFu;
constexpr uint32_t kTunnel = 7;

RouteRow DefaultRoute(uint32_t interfaceIndex, uint32_t metric, uint32_t nextHop) {
    RouteRow row;
    row.nextHop = nextHop;
    row.interfaceIndex = interfaceIndex;
    row.type = 4;
    row.protocol = 2;
    row.metric1 = metric;
    row.metric2 = 9;
    return row;
}

RouteRow Row(uint32_t destination, uint32_t mask, uint32_t interfaceIndex) {
    RouteRow row;
    row.destination = destination;
    row.mask = mask;
    row.interfaceIndex = interfaceIndex;
    row.metric1 = 5;
    return row;
}

bool SameRow(const RouteRow& a, const RouteRow& b) {
    return a.destination == b.destination && a.mask == b.mask && a.policy == b.policy &&
           a.nextHop == b.nextHop && a.interfaceIndex == b.interfaceIndex && a.type == b.type &&
           a.protocol == b.protocol && a.age == b.age && a.nextHopAs == b.nextHopAs &&
           a.metric1 == b.metric1 && a.metric2 == b.metric2 && a.metric3 == b.metric3 &&
           a.metric4 == b.metric4 && a.metric5 == b.metric5;
}

class RouteHelper : public testing::Test {
protected:
    RouteHelper() {
        network_.SetAdapters(
            {{u"Ethernet", 2, {Ip(10, 0, 0, 53)}},
             {u"Hal-Vane", kTunnel, {Ip(192, 168, 1, 1), Ip(192, 168, 1, 2), Ip(9, 9, 9, 9)}}});
    }
    bool Logged(std::u16string_view line) const {
        return std::find(log_.begin(), log_.end(), line) != log_.end();
    }
    std::string LogText() const {
        std::string all;
        for (const auto& line : log_) all += std::string(line.begin(), line.end()) + "\n";
        return all;
    }
    std::vector<RouteRow> Rows() { return network_.Rows(); }

    velora::test::CScratchFolder folder_;
    std::vector<std::u16string> log_;
    CFileServiceStore store_{std::filesystem::path(folder_.Path()), u"Corvane.exe",
                             [this](std::u16string_view line) { log_.emplace_back(line); },
                             [](HResult) { return std::u16string(u"text"); }};
    CSimulatedNetwork network_;
    CRouteHelperLogic route_{network_, store_};
};

}  // namespace

TEST(RouteText, ConvertCidrToIpAndMask) {
    struct Case {
        std::u16string_view item;
        bool ok;
        uint32_t destination, mask;
    } const cases[] = {
        {u"10.1.0.0/16", true, Ip(10, 1, 0, 0), Ip(255, 255, 0, 0)},
        {u"192.168.8.1", true, Ip(192, 168, 8, 1), kHost},
        {u" \t1.2.3.0/24", true, Ip(1, 2, 3, 0), Ip(255, 255, 255, 0)},
        {u"1.2.3.4/32", true, Ip(1, 2, 3, 4), kHost},
        {u"0.0.0.0/0", true, 0, 0},
        {u"1.2.3.4/1", true, Ip(1, 2, 3, 4), Ip(128, 0, 0, 0)},
        {u"255.255.255.255/32", true, kHost, kHost},  // 18 units, the longest form
        {u"1.2.3.4/33", false, 0, 0},
        {u"1.2.3.4/-1", false, 0, 0},
        {u"255.255.255.255/32 ", false, 0, 0},  // 19 units
    };
    for (const Case& c : cases) {
        uint32_t destination = 0, mask = 0;
        EXPECT_EQ(ConvertCidrToIpAndMask(c.item, destination, mask), c.ok)
            << std::string(c.item.begin(), c.item.end());
        if (!c.ok) continue;
        EXPECT_EQ(destination, c.destination) << std::string(c.item.begin(), c.item.end());
        EXPECT_EQ(mask, c.mask) << std::string(c.item.begin(), c.item.end());
    }
    EXPECT_EQ(DottedAddress(Ip(192, 168, 10, 1)), u"192.168.10.1");
    EXPECT_EQ(DottedAddress(0), u"0.0.0.0");
}

TEST(RouteText, ItemShapes) {
    for (const std::u16string_view good :
         {u"1.2.3.4", u"10.0.0.0/8", u"0.0.0.0/0", u"255.255.255.255/32", u" 1.2.3.4/24", u"1.2.3.4\t"}) {
        EXPECT_TRUE(IsRouteItem(good)) << std::string(good.begin(), good.end());
    }
    for (const std::u16string_view bad :
         {u"256.1.1.1",  u"1.2.3",        u"1.2.3.4.5",    u"1.2.3.4/33",   u"1.2.3.4/",
          u"1.2.3.4/-1", u"a.b.c.d",      u"1..2.3",       u"+1.2.3.4",     u"1.2.3.4/8x",
          u"0001.2.3.4", u"1.2.3.4 /8",   u"1.2.3.4/100",  u"-1.2.3.4",     u"1.2.3.4/8/8",
          u"::1",        u"1.2.3.4;calc", u"1.2.3.4/08 x", u"\x0661.2.3.4", u"255.255.255.255/32 "}) {
        EXPECT_FALSE(IsRouteItem(bad)) << std::string(bad.begin(), bad.end());
    }
    const auto items = SplitRouteList(u"a,,b,");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], u"a");
    EXPECT_EQ(items[1], u"b");
}

TEST_F(RouteHelper, RefusedListsChangeNothingAndAreLoggedWithoutTheirText) {
    std::u16string tooMany;
    for (int i = 0; i <= 10000; ++i) tooMany += u"10.0.0.1,";
    network_.AppendRow(DefaultRoute(2, 10, Ip(10, 0, 0, 1)));
    network_.AppendRow(Row(Ip(10, 9, 0, 0), Ip(255, 255, 0, 0), 2));
    const std::vector<RouteRow> before = Rows();
    int32_t index = 42;
    struct Case {
        const char* what;
        HResult result;
    } const cases[] = {
        {"address part above 255", route_.AddRouterToGW(u"10.0.0.0/8,256.1.2.3")},
        {"three parts", route_.AddRoute(u"", u"10.9.0.0/16,1.2.3", u"Hal-Vane", 1)},
        {"prefix 33", route_.AddRoute(u"1.2.3.4/33", u"", u"Hal-Vane", -1)},
        {"prefix 33 in a removal", route_.RemoveRoute(u"10.9.0.0/16,1.2.3.4/33")},
        {"letters", route_.RemoveRoute(u"10.9.0.0/16,example.test")},
        {"too long", route_.RemoveRoute(u"10.9.0.0/16,255.255.255.255/32   ")},
        {"a command", route_.AddRouterToGW(u"1.2.3.4&calc")},
        {"more than 10,000 items", route_.RemoveRoute(tooMany)},
        {"more than 10,000 items to the gateway", route_.AddRouterToGW(tooMany)},
        {"line break", route_.RemoveRoute(u"10.9.0.0/16\r\n1.2.3.4")},
        {"null inside", route_.AddRouterToGW(std::u16string(u"1.2.3.4\0"
                                                            u"5.6.7.8",
                                                            15))},
        {"empty removal", route_.RemoveRoute(u",,")},
        {"overlong interface name", route_.AddRoute(u"", u"1.2.3.4", std::u16string(300, u'x'), 1)},
        {"overlong interface name (default route)",
         route_.FindMinMetricInfOfDefaultGW(1, 0, std::u16string(300, u'x'), index)},
    };
    std::size_t expectedLines = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, kE_INVALIDARG) << c.what;
        ++expectedLines;
    }
    EXPECT_EQ(network_.Changes(), 0);
    const std::vector<RouteRow> after = Rows();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) EXPECT_TRUE(SameRow(after[i], before[i]));
    EXPECT_EQ(index, -1) << "a refusal hands back the failure value";
    ASSERT_EQ(log_.size(), expectedLines) << LogText();
    for (const auto& line : log_) {
        EXPECT_NE(line.find(u"refused"), std::u16string::npos);
        for (const std::u16string_view secret : {u"256.1", u"calc", u"example", u"xxxx", u"10.0.0.1"})
            EXPECT_EQ(line.find(secret), std::u16string::npos) << LogText();
    }
}

TEST_F(RouteHelper, TenThousandItemsAreAccepted) {
    std::u16string list;
    for (int i = 0; i < 10000; ++i) {
        if (i) list += u',';
        list += u"10.1." + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".0/24";
    }
    network_.AppendRow(DefaultRoute(2, 10, Ip(10, 0, 0, 1)));
    EXPECT_EQ(route_.AddRouterToGW(list), kS_OK);
    EXPECT_EQ(Rows().size(), 11u);  // ten distinct networks, each created once; the repeats exist already
}

TEST_F(RouteHelper, TunnelAndDnsRoutes) {
    EXPECT_EQ(route_.AddRoute(u"8.8.8.8", u"10.1.0.0/16,,192.168.8.1", u"Hal-Vane", 1), kS_OK);
    RouteRow tunnel;
    tunnel.interfaceIndex = kTunnel;
    tunnel.protocol = 3;
    tunnel.metric1 = 1;
    std::vector<RouteRow> expected;
    for (const auto& [destination, mask] :
         {std::pair{Ip(10, 1, 0, 0), Ip(255, 255, 0, 0)}, std::pair{Ip(192, 168, 8, 1), kHost},
          std::pair{Ip(192, 168, 1, 1), kHost}, std::pair{Ip(192, 168, 1, 2), kHost}}) {
        tunnel.destination = destination;
        tunnel.mask = mask;
        expected.push_back(tunnel);
    }
    const std::vector<RouteRow> rows = Rows();
    ASSERT_EQ(rows.size(), expected.size()) << "only the first two DNS servers; no gateway route in mode 1";
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_TRUE(SameRow(rows[i], expected[i])) << i;

    // Again: every route exists, each is logged and the last failure is the answer.
    EXPECT_EQ(route_.AddRoute(u"", u"10.1.0.0/16", u"Hal-Vane", 1), static_cast<HResult>(0x80071392));
    EXPECT_TRUE(Logged(u"Failed to add route 10.1.0.0/16 to L2TP interface (0x80071392): text")) << LogText();
    EXPECT_TRUE(Logged(u"Failed to add dns route 192.168.1.2 to L2TP interface (0x80071392): text"));
}

TEST_F(RouteHelper, TunnelStepOutcomes) {
    // An empty tunnel list adds no DNS route either.
    EXPECT_EQ(route_.AddRoute(u"", u",", u"Hal-Vane", 1), kE_INVALIDARG);
    EXPECT_EQ(network_.Changes(), 0);
    // Mode 2 finds the interface and touches nothing; an unknown interface fails for every mode.
    EXPECT_EQ(route_.AddRoute(u"1.2.3.4", u"5.6.7.8", u"Hal-Vane", 2), kS_OK);
    EXPECT_EQ(network_.Changes(), 0);
    EXPECT_EQ(route_.AddRoute(u"1.2.3.4", u"5.6.7.8", u"hal-vane", 2), kE_ACCESSDENIED)
        << "the name compares exactly: only the tunnel's interface";
    EXPECT_TRUE(Logged(u"AddRoute: argument L2TPInfName refused (not the tunnel's interface)"));
    network_.SetAdapters({{u"Hal-Vane", 0, {}}});
    EXPECT_EQ(route_.AddRoute(u"", u"5.6.7.8", u"Hal-Vane", 1), kE_FAIL) << "index 0 is not found";
    network_.SetAdapterFailure(111);
    EXPECT_EQ(route_.AddRoute(u"", u"5.6.7.8", u"Hal-Vane", 0), static_cast<HResult>(0x8007006F));
    EXPECT_TRUE(Logged(u"Failed to call GetAdaptersAddresses (0x8007006f): text"));
    network_.SetAdapterFailure(0, true);
    EXPECT_EQ(route_.AddRoute(u"", u"5.6.7.8", u"Hal-Vane", 0), kE_FAIL);
    EXPECT_TRUE(Logged(u"Failed to assign memory to call GetAdaptersAddresses"));
    EXPECT_EQ(network_.Changes(), 0);
}

TEST_F(RouteHelper, TunnelFailureGoesOnWithTheOtherItems) {
    network_.SetCreateFailure(Ip(5, 6, 7, 8), 5);
    EXPECT_EQ(route_.AddRoute(u"", u"5.6.7.8,9.9.9.0/24", u"Hal-Vane", 1), kE_ACCESSDENIED);
    EXPECT_TRUE(Logged(u"Failed to add route 5.6.7.8 to L2TP interface (0x80070005): text"));
    EXPECT_EQ(Rows().size(), 3u) << "the other item and both DNS routes";
}

TEST_F(RouteHelper, GatewayTemplateIsTheHighestMetricAfterTheFirst) {
    network_.AppendRow(Row(Ip(172, 16, 0, 0), Ip(255, 240, 0, 0), 2));
    network_.AppendRow(DefaultRoute(2, 50, Ip(10, 0, 0, 1)));
    network_.AppendRow(DefaultRoute(kTunnel, 100, 0));
    network_.AppendRow(DefaultRoute(3, 80, Ip(10, 3, 0, 1)));
    // Excluding the tunnel: the first default route, replaced by the later one of higher metric.
    EXPECT_EQ(route_.AddRoute(u"20.0.0.0/8", u"", u"Hal-Vane", -1), kS_OK);
    // AddRouterToGW excludes nothing: the tunnel's route has the highest metric.
    EXPECT_EQ(route_.AddRouterToGW(u"30.1.2.3"), kS_OK);
    const std::vector<RouteRow> rows = Rows();
    ASSERT_EQ(rows.size(), 6u);
    RouteRow viaThree = DefaultRoute(3, 80, Ip(10, 3, 0, 1));
    viaThree.destination = Ip(20, 0, 0, 0);
    viaThree.mask = Ip(255, 0, 0, 0);
    EXPECT_TRUE(SameRow(rows[4], viaThree));
    RouteRow viaTunnel = DefaultRoute(kTunnel, 100, 0);
    viaTunnel.destination = Ip(30, 1, 2, 3);
    viaTunnel.mask = kHost;
    EXPECT_TRUE(SameRow(rows[5], viaTunnel));
    // Existing routes are success; another failure is logged and the last one wins.
    EXPECT_EQ(route_.AddRouterToGW(u"30.1.2.3"), kS_OK);
    network_.SetCreateFailure(Ip(40, 0, 0, 1), 5);
    network_.SetCreateFailure(Ip(40, 0, 0, 2), 87);
    EXPECT_EQ(route_.AddRouterToGW(u"40.0.0.1,40.0.0.2,40.0.0.3"), static_cast<HResult>(0x80070057));
    EXPECT_TRUE(Logged(u"Failed to add route to gateway (0x80070005): text"));
    EXPECT_TRUE(Logged(u"Failed to add route to gateway (0x80070057): text"));
    EXPECT_EQ(Rows().size(), 7u);
    EXPECT_EQ(route_.AddRouterToGW(u""), kS_OK);
}

TEST_F(RouteHelper, ModeZeroAddsBothAndReportsTheTunnelFailureFirst) {
    network_.AppendRow(DefaultRoute(2, 50, Ip(10, 0, 0, 1)));
    EXPECT_EQ(route_.AddRoute(u"20.0.0.0/8", u"30.0.0.0/8", u"Hal-Vane", 0), kS_OK);
    EXPECT_EQ(Rows().size(), 5u);
    EXPECT_EQ(route_.AddRoute(u"21.0.0.0/8", u"30.0.0.0/8", u"Hal-Vane", 0),
              static_cast<HResult>(0x80071392));
    EXPECT_EQ(Rows().size(), 6u) << "the gateway route is still added";
}

// Only what the client needs: routes on its tunnel and copies of the default route, never for a default
// route, its halves, loopback, link-local, multicast or broadcast, and never on another adapter. A refused
// call changes nothing.
TEST_F(RouteHelper, ProtectedNetworksAndOtherAdaptersAreRefused) {
    network_.AppendRow(DefaultRoute(2, 50, Ip(10, 0, 0, 1)));
    network_.AppendRow(Row(Ip(127, 0, 0, 0), Ip(255, 0, 0, 0), 1));
    network_.AppendRow(Row(Ip(224, 0, 0, 0), Ip(240, 0, 0, 0), 2));
    network_.AppendRow(Row(Ip(192, 168, 0, 0), Ip(255, 255, 255, 0), 3));  // another adapter's on-link route
    const std::vector<RouteRow> before = Rows();
    struct Case {
        const char* what;
        std::function<HResult()> call;
        HResult result;
    };
    const Case cases[] = {
        {"default route to the gateway", [&] { return route_.AddRouterToGW(u"20.0.0.0/8,0.0.0.0/0"); }, kE_ACCESSDENIED},
        {"another mask-0 item", [&] { return route_.AddRouterToGW(u"1.2.3.4/0"); }, kE_ACCESSDENIED},
        {"the split default pair", [&] { return route_.AddRouterToGW(u"0.0.0.0/1,128.0.0.0/1"); }, kE_ACCESSDENIED},
        {"upper half alone", [&] { return route_.AddRouterToGW(u"128.0.0.0/1"); }, kE_ACCESSDENIED},
        {"default into the tunnel", [&] { return route_.AddRoute(u"", u"0.0.0.0/0", u"Hal-Vane", 1); }, kE_ACCESSDENIED},
        {"loopback into the tunnel", [&] { return route_.AddRoute(u"", u"127.0.0.1", u"Hal-Vane", 1); }, kE_ACCESSDENIED},
        {"link-local", [&] { return route_.AddRouterToGW(u"169.254.1.0/24"); }, kE_ACCESSDENIED},
        {"multicast", [&] { return route_.AddRoute(u"224.0.0.251", u"", u"Hal-Vane", -1); }, kE_ACCESSDENIED},
        {"broadcast", [&] { return route_.AddRouterToGW(u"255.255.255.255"); }, kE_ACCESSDENIED},
        {"this network", [&] { return route_.AddRouterToGW(u"0.1.2.3"); }, kE_ACCESSDENIED},
        {"routes on another adapter", [&] { return route_.AddRoute(u"", u"20.0.0.0/8", u"Ethernet", 1); }, kE_ACCESSDENIED},
        {"delete loopback", [&] { return route_.RemoveRoute(u"127.0.0.0/8"); }, kE_ACCESSDENIED},
        {"delete multicast", [&] { return route_.RemoveRoute(u"224.0.0.0/4"); }, kE_ACCESSDENIED},
        {"delete the default route", [&] { return route_.RemoveRoute(u"0.0.0.0/0"); }, kE_ACCESSDENIED},
        {"delete another adapter's route", [&] { return route_.RemoveRoute(u"192.168.0.0/24"); }, kE_ACCESSDENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_.clear();
        EXPECT_EQ(c.call(), c.result);
        const std::vector<RouteRow> after = Rows();
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) EXPECT_TRUE(SameRow(after[i], before[i]));
        ASSERT_FALSE(log_.empty());
        for (const auto& line : log_) {
            EXPECT_NE(line.find(u"refused"), std::u16string::npos) << LogText();
            EXPECT_EQ(line.find(u"Ethernet"), std::u16string::npos);
        }
    }
    EXPECT_EQ(network_.Changes(), 0);
}

TEST(RouteText, ProtectedNetworks) {
    struct Case {
        const char16_t* item;
        bool protectedNetwork;
    } const cases[] = {
        {u"0.0.0.0/0", true},        {u"0.0.0.0/1", true},      {u"128.0.0.0/1", true},
        {u"64.0.0.0/2", true},       {u"127.0.0.1", true},      {u"127.255.0.0/16", true},
        {u"169.254.0.0/16", true},   {u"169.254.7.7", true},    {u"224.0.0.1", true},
        {u"239.255.255.250", true},  {u"255.255.255.255", true}, {u"240.0.0.0/4", true},
        {u"0.0.0.1", true},          {u"10.0.0.0/8", false},    {u"1.0.0.0/8", false},
        {u"169.253.0.0/16", false},  {u"223.255.255.255", false}, {u"192.168.8.1", false},
        {u"128.0.0.0/2", true},      {u"128.0.0.0/3", false},
    };
    for (const Case& c : cases) {
        uint32_t destination = 0, mask = 0;
        ASSERT_TRUE(ConvertCidrToIpAndMask(c.item, destination, mask));
        EXPECT_EQ(IsProtectedNetwork(destination, mask), c.protectedNetwork)
            << std::string(c.item, c.item + std::char_traits<char16_t>::length(c.item));
    }
}

TEST_F(RouteHelper, GatewayWithoutDefaultRouteAndTableFailures) {
    EXPECT_EQ(route_.AddRouterToGW(u"1.2.3.4"), kE_NOTIMPL);
    EXPECT_TRUE(Logged(u"No default gateway found"));
    network_.SetReadFailure(5);
    EXPECT_EQ(route_.AddRouterToGW(u"1.2.3.4"), kE_ACCESSDENIED);
    EXPECT_EQ(route_.RemoveRoute(u"1.2.3.4"), kE_ACCESSDENIED);
    EXPECT_TRUE(Logged(u"Failed to call GetIpForwardTable (0x80070005): text"));
    network_.SetReadFailure(0, true);
    EXPECT_EQ(route_.RemoveRoute(u"1.2.3.4"), kE_OUTOFMEMORY);
    EXPECT_TRUE(Logged(u"Failed to assign memory to call GetIpForwardTable."));
    int32_t index = 0;
    EXPECT_EQ(route_.FindMinMetricInfOfDefaultGW(0, 0, u"", index), kE_OUTOFMEMORY);
    EXPECT_EQ(index, -1);
}

// Only routes the service added are deleted, each by its whole row (network, next hop, interface), for
// the caller it was added for; they are remembered in the service's state file, so another instance (a
// restarted service) still removes them.
TEST_F(RouteHelper, RemoveDeletesOnlyTheServicesOwnRoutes) {
    network_.AppendRow(DefaultRoute(2, 50, Ip(10, 0, 0, 1)));
    network_.AppendRow(Row(Ip(10, 0, 0, 0), Ip(255, 0, 0, 0), 3));  // someone else's 10/8
    network_.AppendRow(Row(Ip(1, 2, 3, 4), kHost, 3));
    const CallerIdentity owner{true, 1, u"S-1-5-21-7-1001", false};
    const CallerIdentity other{true, 2, u"S-1-5-21-7-1002", false};
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).AddRouterToGW(u"10.0.0.0/8,20.0.0.0/8"), kS_OK);
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).AddRoute(u"", u"30.0.0.0/8", u"Hal-Vane", 1), kS_OK);
    const std::size_t full = Rows().size();
    ASSERT_EQ(full, 8u);  // 3 before, two gateway routes, the tunnel route and two DNS routes

    // Another caller: nothing of the owner's goes; a route that is not the service's is refused.
    EXPECT_EQ(CRouteHelperLogic(network_, store_, other).RemoveRoute(u"10.0.0.0/8,20.0.0.0/8"), kE_ACCESSDENIED);
    EXPECT_EQ(route_.RemoveRoute(u"1.2.3.4"), kE_ACCESSDENIED);
    EXPECT_TRUE(Logged(u"RemoveRoute refused: a listed route was not added by the service for this caller"));
    EXPECT_EQ(Rows().size(), full);

    // The owner, through a fresh instance: only the service's rows, the other 10/8 stays.
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).RemoveRoute(u"10.0.0.0/8,20.0.0.0/8"), kS_OK);
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).RemoveRoute(u"30.0.0.0/8"), kS_OK);
    std::vector<RouteRow> rows = Rows();
    ASSERT_EQ(rows.size(), full - 3);
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const RouteRow& r) {
        return r.destination == Ip(10, 0, 0, 0) && r.interfaceIndex == 3;
    }));
    // Gone already: reported as absent, and forgotten.
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).RemoveRoute(u"20.0.0.0/8,7.7.7.7"), kRouteMissing);

    // A route that existed before the service "added" it is not the service's.
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).AddRouterToGW(u"40.0.0.0/8"), kS_OK);
    network_.SetDeleteFailure(Ip(40, 0, 0, 0), 5);
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).RemoveRoute(u"40.0.0.0/8"), kE_ACCESSDENIED);
    EXPECT_TRUE(Logged(u"Failed to remove route (0x80070005): text"));
    network_.SetDeleteFailure(Ip(40, 0, 0, 0), 0);
    EXPECT_EQ(CRouteHelperLogic(network_, store_, owner).RemoveRoute(u"40.0.0.0/8"), kS_OK) << "still remembered";
}

TEST_F(RouteHelper, DefaultGatewayInterface) {
    int32_t index = 0;
    EXPECT_EQ(route_.FindMinMetricInfOfDefaultGW(0, 0, u"", index), kS_OK);
    EXPECT_EQ(index, -1) << "empty table";
    network_.AppendRow(Row(Ip(10, 0, 0, 0), Ip(255, 0, 0, 0), 9));
    network_.AppendRow(DefaultRoute(kTunnel, 5, 0));
    network_.AppendRow(DefaultRoute(4, 20, Ip(10, 4, 0, 1)));
    network_.AppendRow(DefaultRoute(2, 10, Ip(10, 2, 0, 1)));
    network_.AppendRow(DefaultRoute(3, 10, Ip(10, 3, 0, 1)));
    struct Case {
        int32_t exceptTunnel, exceptVirtual;
        PhysicalInterfaces wmi;
        int32_t index;
    } const cases[] = {
        {0, 0, {}, static_cast<int32_t>(kTunnel)},
        {1, 0, {}, 2},  // the tie between 2 and 3: the earlier row
        {1, 1, {WmiStep::kNone, 0, {3, 4}}, 3},
        {0, 1, {WmiStep::kNone, 0, {4}}, 4},
        {1, 1, {WmiStep::kConnectServer, static_cast<HResult>(0x8004100E), {}}, 2},  // as if not asked
        {1, 1, {WmiStep::kNone, 0, {}}, 2},
        {0, 1, {WmiStep::kNone, 0, {99}}, -1},
    };
    for (const Case& c : cases) {
        network_.SetPhysicalInterfaces(c.wmi);
        index = 0;
        EXPECT_EQ(route_.FindMinMetricInfOfDefaultGW(c.exceptTunnel, c.exceptVirtual, u"Hal-Vane", index),
                  kS_OK);
        EXPECT_EQ(index, c.index) << c.exceptTunnel << c.exceptVirtual;
    }
    EXPECT_TRUE(Logged(u"Failed to call ConnectServer (0x8004100e): text"));
    index = 0;
    EXPECT_EQ(route_.FindMinMetricInfOfDefaultGW(1, 0, u"Hal-Vane2", index), kE_FAIL);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(network_.Changes(), 0);
}

TEST_F(RouteHelper, WmiFailureLines) {
    const HResult hr = static_cast<HResult>(0x80041001);
    struct Case {
        WmiStep step;
        std::vector<std::u16string> lines;
    } const cases[] = {
        {WmiStep::kCoInitializeEx, {u"Failed to call CoInitializeEx (0x80041001): text"}},
        {WmiStep::kCoInitializeSecurity, {u"Failed to call CoInitializeSecurity (0x80041001): text"}},
        {WmiStep::kCoCreateInstance, {u"Failed to call CoCreateInstance (0x80041001): text"}},
        {WmiStep::kConnectServer, {u"Failed to call ConnectServer (0x80041001): text"}},
        {WmiStep::kCoSetProxyBlanket, {u"Failed to call CoSetProxyBlanket (0x80041001): text"}},
        {WmiStep::kExecQuery, {u"Failed to call ExecQuery (0x80041001): text"}},
        {WmiStep::kSysAllocString, {u"Failed to assign memory to call SysAllocString."}},
        {WmiStep::kCount,
         {u"Failed to enum interface number(0x80041001): text", u"Failed to call GetIfNumByWMI"}},
        {WmiStep::kNoInterface, {u"Not found any interface"}},
        {WmiStep::kReset, {u"ExecQuery failed(0x80041001): text", u"GetPyhIfIdByWMI failed"}},
        {WmiStep::kConnectorPresent,
         {u"Get ConnectorPresent failed(0x80041001): text", u"GetPyhIfIdByWMI failed"}},
        {WmiStep::kInterfaceIndex,
         {u"Get InterfaceIndex failed(0x80041001): text", u"GetPyhIfIdByWMI failed"}},
    };
    for (const Case& c : cases) {
        log_.clear();
        network_.SetPhysicalInterfaces({c.step, hr, {1}});
        std::vector<uint32_t> indexes;
        EXPECT_FALSE(route_.GetPyhIfIdByWMI(indexes));
        EXPECT_EQ(log_, c.lines);
    }
    std::vector<uint32_t> many(300);
    for (uint32_t i = 0; i < many.size(); ++i) many[i] = i + 1;
    network_.SetPhysicalInterfaces({WmiStep::kNone, 0, many});
    std::vector<uint32_t> indexes;
    EXPECT_TRUE(route_.GetPyhIfIdByWMI(indexes));
    EXPECT_EQ(indexes.size(), 256u);
}
