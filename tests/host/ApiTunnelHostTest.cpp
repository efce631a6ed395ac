// The exported API end to end in the tunnel modes (VCPE, DCPE) and in MOBILE_DETECT, with its built-in
// workers: sign-in and connect against the cloud stand-in over loopback, the dial on the simulated
// dial-up service, the routes on the in-process helper service's routing table, the counters from the
// simulated interface table. A lost link (the tunnel drops; in MOBILE_DETECT the orchestrator's heartbeat
// answer says so) ends the link monitor with 2 and the API connects again by itself; the user's
// disconnect then takes out every route the connection put in and tells the orchestrator.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "ApiTestSupport.h"
#include "api/ClientApi.h"
#include "core/JsonFields.h"
#include "core/TextHelpers.h"
#include "engine/EngineState.h"
#include "inprocess/SimHelperService.h"
#include "platform/DialUp.h"
#include "platform/host/SimDialUp.h"
#include "platform/host/SimInterfaces.h"
#include "support/ApiTenant.h"
#include "support/LogFiles.h"
#include "support/SignInWorld.h"
#include "support/TunnelWorld.h"

namespace velora::test {
namespace {

namespace helper = corvane::inprocess;
namespace host = platform::host;

// The tunnel row's counters: the sent count is past 2 GiB, where a signed 32-bit reading would turn it
// negative.
constexpr uint32_t kTunnelIn = 300;
constexpr uint32_t kTunnelOut = 4000000000u;

struct ModeCase {
    const char* name;
    const char16_t* orch;  // the tenant's orchestrator: connect answer, gateway check, filter, heartbeats
    bool dialsTunnel;      // VCPE and DCPE dial the tunnel; MOBILE_DETECT does not
};

const ModeCase kCases[] = {
    {"Vcpe",
     uR"({"connect": {"mode": "VCPE", "values": {}}, "gateway": {"liveAfter": 0},
          "filter": {"siteTemplateId": "api", "version": 1, "ipSetMode": 1,
                     "whiteIpSet": ["10.9.0.0/16", "172.16.0.0/12"]},
          "heartbeat": [{"action": 0}]})",
     true},
    {"Dcpe",
     uR"({"connect": {"mode": "DCPE", "values": {}},
          "gateway": {"liveAfter": 0, "popIp": "192.0.2.44", "ipsecName": "pop-user",
                      "ipsecPassword": "pop-pass", "psk": "pop-psk"},
          "filter": {"siteTemplateId": "api", "version": 1, "ipSetMode": -1,
                     "blackIpSet": ["203.0.113.0/24"]},
          "heartbeat": [{"action": 0}]})",
     true},
    // The first heartbeat (sent as the monitor starts) is accepted, the second one, two seconds later,
    // tells the client its link is gone; every later one is accepted. The first must not be the one that
    // drops the link: the test looks at the connected state right after the connect returns.
    {"MobileDetect",
     uR"({"connect": {"mode": "MOBILE_DETECT", "values": {"heartbeatInterval": 2}},
          "filter": {"siteTemplateId": "api", "version": 1, "ipSetMode": 0,
                     "whiteIpSet": ["10.9.0.0/16"]},
          "heartbeat": [{"action": 0}, {"action": 1}, {"action": 0}]})",
     false},
};

// The test's name in ctest's listing instead of the case's bytes.
void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

using Route = std::tuple<uint32_t, uint32_t, uint32_t>;  // destination, mask, interface

class ApiTunnelHost : public ::testing::TestWithParam<ModeCase> {
protected:
    void SetUp() override {
        ApiExit();
        UseSimulatedHelperService(std::filesystem::path(scratch_.Path(u"Corvane")));
        std::filesystem::create_directories(std::filesystem::path(scratch_.Path(u"Corvane")));
        // The default route through 192.168.1.1 (first octet in the low byte, as the system keeps it).
        AppendGatewayRow(ResetTunnelNetwork(), 0x0101A8C0);
        host::ResetSimDialUp();
        host::SetSimulatedInterfaces({{"Ethernet", 5, 6}, {"Hal-Vane", kTunnelIn, kTunnelOut}});
        EngineState& s = GetEngineState();
        s.rasConnection = nullptr;
        s.dialTimedOut = false;
        s.stopRequested = false;
        s.useClientSpecifyMode = false;
        s.retryCount = 0;
        ASSERT_TRUE(OpenApiTenant(world_, GetParam().orch));
        log_ = scratch_.Path(u"api.log");
        ASSERT_EQ(ApiInit(log_.c_str(), nullptr), 1);  // the built-in workers
    }
    void TearDown() override {
        DisconnectAndWaitForTheApiThreads();
        host::ResetSimDialUp();
        host::ResetSimulatedInterfaces();
        helper::SetHelperServiceFolder({});
    }

    int Orch(std::u16string_view key) const { return OrchestratorCount(world_, key); }
    static std::vector<Route> Routes() {
        std::vector<Route> routes;
        for (const corvane::RouteRow& row : helper::SimulatedNetwork().Rows())
            routes.emplace_back(row.destination, row.mask, row.interfaceIndex);
        std::sort(routes.begin(), routes.end());
        return routes;
    }

    CScratchFolder scratch_;
    CSignInWorld world_;
    std::u16string log_;
};

TEST_P(ApiTunnelHost, ConnectCountersLostLinkReconnectAndDisconnect) {
    const ModeCase& c = GetParam();
    char16_t buffer[256];
    ASSERT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256), 0u) << Utf16ToUtf8(buffer);
    const std::vector<Route> before = Routes();

    ASSERT_EQ(ApiConnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnected);
    EXPECT_EQ(Orch(u"connects"), 1);
    if (c.dialsTunnel) {
        EXPECT_EQ(host::SimDialCalls().size(), 1u);
        EXPECT_NE(GetEngineState().rasConnection.load(), nullptr);
        EXPECT_NE(Routes(), before) << "the connection's filter routes are in";
    }

    int64_t sent = 0, received = 0;
    ASSERT_EQ(ApiCheckStatus(&sent, &received), 1);
    EXPECT_EQ(sent, static_cast<int64_t>(kTunnelOut));
    EXPECT_EQ(received, static_cast<int64_t>(kTunnelIn));

    // The link goes: the monitor ends with 2, the watcher tears down (telling the orchestrator) and
    // connects again on its own.
    if (c.dialsTunnel) host::DropSimConnection(GetEngineState().rasConnection.load());
    ASSERT_TRUE(WaitUntil(
        [this] { return Orch(u"connects") == 2 && ApiGetConnectionStep() == kStepConnected; }, 30000))
        << "connects " << Orch(u"connects") << ", step " << ApiGetConnectionStep();
    EXPECT_EQ(Orch(u"disconnects"), 1) << "the reconnect's tear-down tells the orchestrator";
    if (c.dialsTunnel) {
        EXPECT_EQ(host::SimDialCalls().size(), 2u);
        EXPECT_EQ(host::SimHangUps().size(), 1u) << "the dropped tunnel is hung up";
    }
    ASSERT_EQ(ApiCheckStatus(&sent, &received), 1);
    EXPECT_EQ(sent, static_cast<int64_t>(kTunnelOut));

    // The user's disconnect: no tunnel, none of the connection's routes, the orchestrator told.
    ASSERT_EQ(ApiDisconnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    EXPECT_EQ(Routes(), before);
    EXPECT_EQ(GetEngineState().rasConnection.load(), nullptr);
    uint32_t error = 0;
    EXPECT_TRUE(platform::ListDialUpConnections(error).empty());
    EXPECT_EQ(Orch(u"disconnects"), 2);
    const std::string body = world_.sim.Last(world_.Path(u"/api/mobile/v2/disconnect"), u"body");
    EXPECT_NE(body.find("\"customerId\":12"), std::string::npos) << body;
    EXPECT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Modes, ApiTunnelHost, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace velora::test
