// An exit while the VCPE bring-up is still dialling, end to end: the connect answer comes from the cloud
// stand-in, the dial goes to the simulated dial-up service and never returns on its own, the built-in
// workers tear down. The exit waits for the connect worker only as long as its bound, goes on, and the
// connection the dial brings afterwards is hung up: no tunnel and no routes are left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/HttpClient.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/ConnectContext.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/ExitPath.h"
#include "engine/TunnelBringUp.h"
#include "inprocess/SimHelperService.h"
#include "platform/DialUp.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "platform/host/SimDialUp.h"
#include "support/BringUp.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"
#include "support/TunnelWorld.h"

using namespace velora;
namespace sim = corvane::inprocess;
namespace host = platform::host;

namespace {

using test::TunnelRoutes;

// The bound on the wait for the connect worker, shortened from 30 s so the test does not sit it out.
constexpr uint32_t kShortConnectWaitMs = 300;

void NoPause(uint32_t) {}

class CIdleExitWindow : public CExitWindow {
public:
    void KillUpgradeCheckTimer() override {}
    ShownConnectionState GetShownState() override { return shown_; }
    void ShowDisconnecting() override { shown_ = kShownDisconnecting; }
    void CloseDialogs() override {}
    ShownConnectionState shown_ = kShownConnecting;
};

class ExitPathHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cloud_.Open());
        ASSERT_TRUE(CreateEngineEvents());
        EngineState& state = GetEngineState();
        state.stopConnectEvent->Reset();
        state.stopMonitorEvent->Reset();
        state.stopProcessCheckEvent->Reset();
        state.rasConnection = nullptr;
        state.dialTimedOut = false;
        state.outerAuth = false;
        state.ipSetMode = 99;
        state.whiteIpSet.clear();
        state.blackIpSet.clear();
        platform::SetPauseFunction(&NoPause);
        platform::SetMainWindow(window_.Handle());
        host::ResetSimDialUp();
        test::UseSimulatedHelperService(std::filesystem::path(scratch_.Path(u"Corvane")));
        test::ResetTunnelNetwork();
        test::SetSignedInUser();
        SetSetting(u"AuthUrl", cloud_.Url("http") + u"/exit-path/auth");
    }
    void TearDown() override {
        host::ReleaseSimDials(1);
        platform::SetMainWindow(nullptr);
        platform::SetPauseFunction(nullptr);
        host::ResetSimDialUp();
        (void)Posted();
        sim::SetHelperServiceFolder({});
        EngineState& state = GetEngineState();
        state.stopConnectEvent->Reset();
        state.stopMonitorEvent->Reset();
        state.stopProcessCheckEvent->Reset();
        state.stopRequested = false;
        SetSetting(u"AuthUrl", u"");
    }

    std::u16string VcpeConnectAnswer() {
        const std::u16string tenant = cloud_.Tenant(u"exitpath",
                                                    u"{\"orch\":{\"tokens\":[\"tok-1\"],\"connect\":{"
                                                    u"\"mode\":\"VCPE\",\"values\":{}},\"gateway\":{}}}");
        return test::PostConnect(cloud_.TenantUrl("http", tenant));
    }
    // What reached the window but the log lines, as (message, wParam).
    std::vector<std::pair<uint32_t, uintptr_t>> Posted() {
        std::vector<std::pair<uint32_t, uintptr_t>> out;
        for (const test::RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) {
                delete reinterpret_cast<std::u16string*>(m.lParam);
                continue;
            }
            out.emplace_back(m.message, m.wParam);
        }
        return out;
    }
    test::CCloudSimAccess cloud_;
    test::CScratchFolder scratch_;
    test::CLogCapture log_;
    test::CRecordingWindow window_;
};

}  // namespace

TEST_F(ExitPathHost, ExitDuringTheTunnelsDialWaitsAtMostTheBoundAndLeavesNoTunnel) {
    struct Case {
        const char* name;
        uint32_t type;
        uint32_t reason;  // of the UM_DISCONNECTED the disconnect sequence posts
        bool umExit;
    };
    const Case cases[] = {
        {"cancel connection", kExitCancelConnection, kDisconnectCancelConnecting, false},
        {"logout", kExitLogout, kDisconnectExit, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::ResetSimDialUp();
        GetEngineState().stopConnectEvent->Reset();
        const std::u16string answer = VcpeConnectAnswer();
        host::PlanSimDials({{host::SimDialPlan::Outcome::NeverReturn, 0, 0}});
        ConnectContext context;
        platform::ThreadCreation connect = platform::StartThread([&] {
            test::RunVcpeBringUp(answer, context);
            return 0u;
        });
        ASSERT_TRUE(connect.thread);
        std::shared_ptr<platform::Thread> connectThread(std::move(connect.thread));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (host::SimDialsInProgress() == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(host::SimDialsInProgress(), 1u);
        (void)Posted();

        CIdleExitWindow window;
        ExitJob job;
        job.mode = VCPE;
        job.connectThread = connectThread;
        job.connectWaitMs = kShortConnectWaitMs;
        const auto started = std::chrono::steady_clock::now();
        std::unique_ptr<platform::Thread> worker = ExitPath(c.type, window, std::move(job));
        ASSERT_TRUE(worker);
        ASSERT_TRUE(worker->Wait(20000));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_TRUE(connectThread->IsRunning()) << "the dial is still in progress after the exit";
        EXPECT_EQ(window.shown_, kShownDisconnecting);

        window_.PumpUntil([] { return false; }, 50);
        std::vector<std::pair<uint32_t, uintptr_t>> expected{{UM_DISCONNECTED, c.reason}};
        if (c.umExit) expected.emplace_back(UM_EXIT, c.type);
        EXPECT_EQ(Posted(), expected);

        // The dial comes up after all: the connect worker finds the exit's stop and hangs it up.
        host::ReleaseSimDials(0);
        ASSERT_TRUE(connectThread->Wait(20000));
        EXPECT_EQ(context.result, 329);
        EXPECT_EQ(GetEngineState().rasConnection, nullptr);
        EXPECT_EQ(host::SimHangUps().size(), 1u);
        uint32_t error = 0;
        EXPECT_TRUE(platform::ListDialUpConnections(error).empty());
        EXPECT_TRUE(TunnelRoutes().empty());
        EXPECT_NE(log_.Text().find("The connect worker did not end in time"), std::string::npos);
    }
}
