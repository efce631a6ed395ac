// The exported API end to end in NATIVE mode with its built-in workers: sign-in and connect against the
// cloud stand-in over loopback, the in-process Corvane starting the host's engine stand-in, the traffic
// counters over the engine pipe, an engine crash that the link monitor reports and the API answers with
// a reconnect of its own, and a disconnect that stops the engine and tells the orchestrator.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ApiTestSupport.h"
#include "HostEngineStandIn.h"
#include "api/ClientApi.h"
#include "core/DeviceInfo.h"
#include "core/JsonFields.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "inprocess/SimHelperService.h"
#include "logic/ControlHelperLogic.h"
#include "logic/SimProcessControl.h"
#include "platform/host/SimServices.h"
#include "support/ApiTenant.h"
#include "support/LogFiles.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

namespace helper = corvane::inprocess;

class ApiNativeHost : public ::testing::Test {
protected:
    void SetUp() override {
        ApiExit();
        helper::ClearHelperAnswers();
        helper::SetHelperServiceFolder(std::filesystem::path(scratch_.Path(u"Corvane")));
        std::filesystem::create_directories(std::filesystem::path(scratch_.Path(u"Corvane")));
        platform::host::ResetSimulatedServices();
        sim::ClearHostEngineLog();
        sim::InstallHostEngineStandIn();
        CloseEnginePipe();
        EngineState& s = GetEngineState();
        s.filterText.clear();
        s.stopRequested = false;
        s.useClientSpecifyMode = false;
        s.nativeTimedOut = false;
        s.retryCount = 0;
        ASSERT_TRUE(OpenApiTenant(world_,
                                  uR"({"connect": {"mode": "NATIVE"},
                          "filter": {"siteTemplateId": "api", "version": 1, "ipSetMode": 0,
                                     "whiteIpSet": ["10.9.0.0/16"]}})"));
        log_ = scratch_.Path(u"api.log");
        ASSERT_EQ(ApiInit(log_.c_str(), nullptr), 1);  // the built-in workers
    }
    void TearDown() override {
        DisconnectAndWaitForTheApiThreads();
        CloseEnginePipe();
        sim::UninstallHostEngineStandIn();
        helper::SetHelperServiceFolder({});
    }

    void Scenario(const std::string& lines) const {
        std::ofstream(std::filesystem::path(scratch_.Path(u"Corvane")) / "ferronwin.scenario",
                      std::ios::binary | std::ios::trunc)
            << lines;
    }
    int Orch(std::u16string_view key) const { return OrchestratorCount(world_, key); }
    static int EngineStarts() {
        int n = 0;
        for (const std::string& line : sim::HostEngineLog())
            if (line.rfind("start: command line", 0) == 0) ++n;
        return n;
    }
    static bool EngineListed() {
        for (const std::u16string& image : corvane::SimulatedProcesses().RunningImages())
            if (image == u"ferronwin.exe") return true;
        return false;
    }

    CScratchFolder scratch_;
    CSignInWorld world_;
    std::u16string log_;
};

TEST_F(ApiNativeHost, ConnectCountersCrashReconnectAndDisconnect) {
    char16_t buffer[256];
    ASSERT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256), 0u) << Utf16ToUtf8(buffer);

    // The first engine crashes a while after its start; the one the reconnect starts does not.
    Scenario("crashAfterMs=2500\n");
    ASSERT_EQ(ApiConnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    Scenario("");
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnected);
    EXPECT_EQ(Orch(u"connects"), 1);
    EXPECT_EQ(EngineStarts(), 1);

    int64_t sent1 = 0, received1 = 0, sent2 = 0, received2 = 0;
    ASSERT_EQ(ApiCheckStatus(&sent1, &received1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(ApiCheckStatus(&sent2, &received2), 1);
    EXPECT_GT(sent2, sent1);
    EXPECT_GT(received2, received1);

    // The crash: the monitor ends with the link lost, the API tears down, tells the orchestrator and
    // connects again by itself, with a new engine.
    ASSERT_TRUE(WaitUntil(
        [this] { return Orch(u"connects") == 2 && ApiGetConnectionStep() == kStepConnected; }, 30000))
        << "connects " << Orch(u"connects") << ", step " << ApiGetConnectionStep();
    EXPECT_EQ(EngineStarts(), 2);
    EXPECT_EQ(Orch(u"disconnects"), 1) << "the reconnect's tear-down tells the orchestrator";
    EXPECT_TRUE(WaitUntil([] {
        int64_t sent = 0, received = 0;
        return ApiCheckStatus(&sent, &received) == 1 && sent > 0;
    }));

    // The user's disconnect: the engine stops, the service no longer lists it, the orchestrator hears.
    ASSERT_EQ(ApiDisconnect(buffer, 256), 0u);
    EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
    EXPECT_FALSE(sim::HostEngineRunning());
    EXPECT_FALSE(EngineListed());
    EXPECT_EQ(Orch(u"disconnects"), 2);
    const std::string bodies = world_.sim.Last(world_.Path(u"/api/mobile/v2/disconnect"), u"body");
    EXPECT_EQ(bodies, "{\"customerId\":12, \"sn\":\"" + Utf16ToUtf8(GetInstallationSerial()) + "\"}");
    int64_t sent = 7, received = 7;
    EXPECT_EQ(ApiCheckStatus(&sent, &received), 0);
    EXPECT_EQ(sent, 0);
}

}  // namespace
}  // namespace velora::test
