// The exported API end to end in NATIVE mode with its built-in workers: sign-in and connect against the
// cloud stand-in over loopback, the in-process Corvane starting the host's engine stand-in, the traffic
// counters over the engine pipe, an engine crash that the link monitor reports and the API answers with
// a reconnect of its own, and a disconnect that stops the engine and tells the orchestrator; a connect that
// is cancelled at each of its check points, during the engine wait or during the API's own reconnect, or
// that the engine does not bring up, leaves no engine running and no heartbeat after it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
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
                                  uR"({"connect": {"mode": "NATIVE", "values": {"heartbeatInterval": 1,
                                                                 "allowClientSpecifyMode": true}},
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
    // Nothing of a connection is left: no engine in the service's table, no API thread, step 0.
    void ExpectNothingLeftRunning() const {
        EXPECT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
        EXPECT_EQ(ApiGetConnectionStep(), kStepDisconnected);
        EXPECT_FALSE(sim::HostEngineRunning());
        EXPECT_FALSE(EngineListed());
    }
    void SignIn() const {
        char16_t buffer[256];
        ASSERT_EQ(ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256), 0u) << Utf16ToUtf8(buffer);
    }
    // A Connect on a thread of its own, with its result and text when it has returned.
    struct CConnectCall {
        std::atomic<uint32_t> result{999};
        std::u16string text;
        std::thread thread;
        void Start() {
            thread = std::thread([this] {
                char16_t buffer[256];
                result = ApiConnect(buffer, 256);
                text = buffer;
            });
        }
        void Join() {
            if (thread.joinable()) thread.join();
        }
        ~CConnectCall() { Join(); }
    };

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

// A Disconnect while the connect request or the filter download is under way: the connect stops at its
// next check point with 329 and never starts the engine; the Disconnect finds nothing connected.
TEST_F(ApiNativeHost, DisconnectDuringTheRequestOrTheFilterDownloadStartsNoEngine) {
    SignIn();
    struct Case {
        const char16_t* path;  // the request held by the stand-in while the Disconnect comes
    };
    for (const Case c : {Case{u"/api/mobile/v2/connect"}, Case{u"/orch/filter/api/1/list"}}) {
        SCOPED_TRACE(Utf16ToUtf8(c.path));
        sim::ClearHostEngineLog();
        const std::u16string path = world_.Path(c.path);
        const int before = std::atoi(world_.sim.Last(path, u"count").c_str());
        world_.sim.Fault(u"{\"path\":\"" + path + u"\",\"kind\":\"delay\",\"ms\":1500,\"times\":1}");
        CConnectCall connect;
        connect.Start();
        ASSERT_TRUE(WaitUntil([&] { return std::atoi(world_.sim.Last(path, u"count").c_str()) > before; }));
        char16_t buffer[256];
        EXPECT_EQ(ApiDisconnect(buffer, 256), 0u);
        connect.Join();
        EXPECT_EQ(connect.result.load(), 329u);
        EXPECT_EQ(connect.text, u"Stopped because of a disconnect command");
        EXPECT_EQ(EngineStarts(), 0);
        ExpectNothingLeftRunning();
    }
    EXPECT_EQ(Orch(u"heartbeats"), 0);
}

// A Disconnect while the connect waits for an engine that is late: the engine the connect started is
// stopped before the connect returns, so the Disconnect that finds nothing connected leaves nothing behind.
TEST_F(ApiNativeHost, DisconnectDuringTheEngineWaitStopsTheEngine) {
    SignIn();
    Scenario("connectDelayMs=600000\n");
    CConnectCall connect;
    connect.Start();
    ASSERT_TRUE(WaitUntil([] { return EngineStarts() == 1 && sim::HostEngineRunning(); }));
    char16_t buffer[256];
    EXPECT_EQ(ApiDisconnect(buffer, 256), 0u);
    connect.Join();
    EXPECT_EQ(connect.result.load(), 329u);
    EXPECT_EQ(connect.text, u"Stopped because of a disconnect command");
    ExpectNothingLeftRunning();
    EXPECT_EQ(Orch(u"heartbeats"), 0);

    // The next Connect is a fresh one: the engine comes up and the heartbeat runs.
    Scenario("");
    ASSERT_EQ(ApiConnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    EXPECT_TRUE(WaitUntil([this] { return Orch(u"heartbeats") > 0; }));
}

// The orchestrator turns the engine away (30106): the connect fails, and the engine it started is
// stopped; a Disconnect afterwards has nothing to do.
TEST_F(ApiNativeHost, EngineTurnedAwayIsStopped) {
    SignIn();
    Scenario("refuseToken=1\n");
    char16_t buffer[256];
    EXPECT_EQ(ApiConnect(buffer, 256), 30106u);
    EXPECT_EQ(Text(buffer), u"2020 Invalid Token");
    EXPECT_EQ(EngineStarts(), 1);
    ExpectNothingLeftRunning();
    EXPECT_EQ(ApiDisconnect(buffer, 256), 0u);
    EXPECT_EQ(Text(buffer), u"Already disconnected");
    EXPECT_EQ(Orch(u"heartbeats"), 0);
}

// An engine that never reaches the orchestrator: each Connect times out after its wait (30103) and stops
// the engine it started. Each Connect begins a series of its own, so two time-outs in two Connects never
// make the next request ask for the client's own mode.
TEST_F(ApiNativeHost, EngineThatNeverConnectsIsStoppedAndTheNextConnectStartsAfresh) {
    SignIn();
    Scenario("connectDelayMs=600000\n");
    char16_t buffer[256];
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(ApiConnect(buffer, 256), 30103u);
        EXPECT_EQ(Text(buffer), u"2010 Request time out. The network might be unavailable");
        EXPECT_EQ(EngineStarts(), attempt);
        ExpectNothingLeftRunning();
        EXPECT_FALSE(GetEngineState().useClientSpecifyMode.load());
    }
    EXPECT_EQ(Orch(u"heartbeats"), 0);

    Scenario("");
    ASSERT_EQ(ApiConnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    const std::string body = world_.sim.Last(world_.Path(u"/api/mobile/v2/connect"), u"body");
    EXPECT_EQ(body.find("\"connectMode\":3"), std::string::npos) << body;
    EXPECT_NE(body.find("\"connectExtraInfo\":{\"connectPopFailed\":false}}"), std::string::npos) << body;
}

// The API's own reconnect after an engine crash, cancelled while it waits for its new engine: the new
// engine is stopped, no monitor is left, and no heartbeat follows.
TEST_F(ApiNativeHost, DisconnectDuringTheReconnectsEngineWaitStopsTheEngine) {
    SignIn();
    Scenario("crashAfterMs=1500\n");
    char16_t buffer[256];
    ASSERT_EQ(ApiConnect(buffer, 256), 0u) << Utf16ToUtf8(buffer);
    Scenario("connectDelayMs=600000\n");  // read by the engine the reconnect starts
    ASSERT_TRUE(WaitUntil([] { return EngineStarts() == 2 && sim::HostEngineRunning(); }, 30000));
    EXPECT_EQ(ApiGetConnectionStep(), kStepConnecting);
    EXPECT_EQ(ApiDisconnect(buffer, 256), 0u);
    ExpectNothingLeftRunning();
    const int heartbeats = Orch(u"heartbeats");
    // Two heartbeat intervals with nothing sent: no monitor of either connection is left.
    EXPECT_FALSE(WaitUntil([&] { return Orch(u"heartbeats") > heartbeats; }, 2500));
    EXPECT_EQ(EngineStarts(), 2);
}

}  // namespace
}  // namespace velora::test
