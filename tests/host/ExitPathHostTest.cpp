// An exit while the VCPE bring-up is still dialling, end to end: the connect answer comes from the cloud
// stand-in, the dial goes to the simulated dial-up service and never ends on its own, the built-in
// workers tear down. The exit hangs the dial up, so the connect worker ends at once rather than after the
// exit's 30 s bound, and no tunnel and no routes are left behind. The exit worker reaches the helper
// service itself (it joins COM), not only through the disconnect sequence.
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

TEST_F(ExitPathHost, ExitDuringADialThatNeverEndsHangsItUpAndLeavesNoTunnel) {
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
        EngineState& state = GetEngineState();
        state.stopConnectEvent->Reset();
        // A filter list whose routes the tear-down takes out: the exit worker once, the disconnect
        // sequence once more.
        state.ipSetMode = 1;
        state.whiteIpSet = u"10.9.0.0/16";
        const int removalsBefore = sim::HelperCallCount(u"RemoveRoute");
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
        // The dial is listed as it begins, and its handle is published in the state right after.
        while ((host::SimDialsInProgress() == 0 || state.rasConnection.load() == nullptr) &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(host::SimDialsInProgress(), 1u);
        const platform::DialUpHandle dialling = state.rasConnection;
        ASSERT_NE(dialling, nullptr) << "the dial's handle is known while it runs";
        (void)Posted();

        CIdleExitWindow window;
        ExitJob job;
        job.mode = VCPE;
        job.connectThread = connectThread;  // with the exit's own 30 s bound
        std::unique_ptr<platform::Thread> worker = ExitPath(c.type, window, std::move(job));
        ASSERT_TRUE(worker);
        // Nothing lets the dial end on its own: only the exit's hang-up ends the connect worker.
        ASSERT_TRUE(worker->Wait(20000));
        EXPECT_FALSE(connectThread->IsRunning()) << "the connect worker ended with the hang-up";
        EXPECT_EQ(log_.Text().find("The connect worker did not end in time"), std::string::npos);
        EXPECT_EQ(context.result, 329);
        EXPECT_EQ(window.shown_, kShownDisconnecting);

        window_.PumpUntil([] { return false; }, 50);
        std::vector<std::pair<uint32_t, uintptr_t>> expected{{UM_DISCONNECTED, c.reason}};
        if (c.umExit) expected.emplace_back(UM_EXIT, c.type);
        EXPECT_EQ(Posted(), expected);

        EXPECT_EQ(state.rasConnection, nullptr);
        EXPECT_EQ(host::SimHangUps(), std::vector<platform::DialUpHandle>{dialling});
        EXPECT_EQ(host::SimDialsInProgress(), 0u);
        uint32_t error = 0;
        EXPECT_TRUE(platform::ListDialUpConnections(error).empty());
        EXPECT_TRUE(TunnelRoutes().empty());
        EXPECT_EQ(sim::HelperCallCount(u"RemoveRoute"), removalsBefore + 2)
            << "the exit worker's own removal reached the helper service";
        EXPECT_EQ(log_.Text().find("0x800401f0"), std::string::npos) << "no call from a thread outside COM";
    }
}
