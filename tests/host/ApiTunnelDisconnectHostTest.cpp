// The exported API's Disconnect while a VCPE connect is still dialling, end to end with the built-in
// workers: sign-in and connect answer from the cloud stand-in, the dial on the simulated dial-up service,
// the routes on the in-process helper service's routing table. The dial never ends on its own: the
// Disconnect cuts it short, the connect returns, and no tunnel and no routes are left.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ApiTestSupport.h"
#include "api/ClientApi.h"
#include "core/TextHelpers.h"
#include "engine/EngineState.h"
#include "inprocess/SimHelperService.h"
#include "platform/DialUp.h"
#include "platform/host/SimDialUp.h"
#include "support/ApiTenant.h"
#include "support/LogFiles.h"
#include "support/SignInWorld.h"
#include "support/TunnelWorld.h"

namespace velora::test {
namespace {

namespace helper = corvane::inprocess;
namespace host = platform::host;

class ApiTunnelDisconnectHost : public ::testing::Test {
protected:
    void SetUp() override {
        ApiExit();
        UseSimulatedHelperService(std::filesystem::path(scratch_.Path(u"Corvane")));
        std::filesystem::create_directories(std::filesystem::path(scratch_.Path(u"Corvane")));
        AppendGatewayRow(ResetTunnelNetwork(), 0);
        host::ResetSimDialUp();
        EngineState& s = GetEngineState();
        s.rasConnection = nullptr;
        s.dialTimedOut = false;
        s.stopRequested = false;
        ASSERT_TRUE(OpenApiTenant(world_,
                                  uR"({"connect": {"mode": "VCPE", "values": {}}, "gateway": {},
                          "filter": {"siteTemplateId": "api", "version": 1, "ipSetMode": 0,
                                     "whiteIpSet": ["10.9.0.0/16"]}})"));
        log_ = scratch_.Path(u"api.log");
        ASSERT_EQ(ApiInit(log_.c_str(), nullptr), 1);  // the built-in workers
    }
    void TearDown() override {
        host::ReleaseSimDials(1);
        DisconnectAndWaitForTheApiThreads();
        host::ResetSimDialUp();
        helper::SetHelperServiceFolder({});
    }
    CScratchFolder scratch_;
    CSignInWorld world_;
    std::u16string log_;
};

}  // namespace

TEST_F(ApiTunnelDisconnectHost, DisconnectDuringADialThatNeverEndsHangsItUpAndLeavesNoTunnel) {
    char16_t buffer[256];
    ASSERT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256), 0u) << Utf16ToUtf8(buffer);
    host::PlanSimDials({{host::SimDialPlan::Outcome::NeverReturn, 0, 0}});

    std::atomic<bool> connectReturned{false};
    uint32_t connectResult = 0;
    char16_t connectText[256] = {};
    std::thread connect([&] {
        connectResult = ApiConnect(connectText, 256);
        connectReturned = true;
    });
    // The dial is listed as it begins, and its handle is published in the state right after.
    ASSERT_TRUE(WaitUntil([] {
        return host::SimDialsInProgress() == 1 && GetEngineState().rasConnection.load() != nullptr;
    })) << "the dial never started";
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnecting);
    const platform::DialUpHandle dialling = GetEngineState().rasConnection;
    EXPECT_NE(dialling, nullptr) << "the dial's handle is known while it runs";

    char16_t disconnectText[256] = {};
    const uint32_t disconnectResult = ApiDisconnect(disconnectText, 256);
    // Nothing lets the dial end: the Disconnect has cut it short, and the connect returns.
    if (!WaitUntil([&] { return connectReturned.load(); })) {
        ADD_FAILURE() << "the connect is still dialling after the Disconnect";
        host::ResetSimDialUp();
    }
    connect.join();

    EXPECT_EQ(connectResult, 329u) << Utf16ToUtf8(connectText);
    EXPECT_EQ(disconnectResult, 0u) << Utf16ToUtf8(disconnectText);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    EXPECT_EQ(GetEngineState().rasConnection, nullptr);
    EXPECT_EQ(host::SimHangUps(), std::vector<platform::DialUpHandle>{dialling});
    EXPECT_EQ(host::SimDialsInProgress(), 0u);
    uint32_t error = 0;
    EXPECT_TRUE(platform::ListDialUpConnections(error).empty());
    EXPECT_EQ(TunnelRoutes().size(), 0u);
}

}  // namespace velora::test
