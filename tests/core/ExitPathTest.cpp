// The exit path and its worker with a recording window as the main window: the reason line of every exit
// type, the order of the tear-down steps (recorded by the workers and the threads handed in), UM_EXIT and
// its type, "cancel connection" staying without UM_EXIT, and a connect worker that outlives the bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/WindowMessages.h"
#include "engine/ConnectContext.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/ExitPath.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

using namespace velora;

namespace {

std::vector<std::string>* g_steps = nullptr;
void Record(std::string step) {
    if (g_steps) g_steps->push_back(std::move(step));
}
void RecordPause(uint32_t ms) {
    Record("pause " + std::to_string(ms));
}

// Looks at an auto-reset event without taking its signal away.
bool Signalled(platform::Event& event) {
    if (!event.Wait(0)) return false;
    event.Set();
    return true;
}

// Which stop events are signalled at a step: p(rocess check), c(onnect), m(onitor).
std::string Events() {
    EngineState& state = GetEngineState();
    std::string out;
    out += Signalled(*state.stopProcessCheckEvent) ? 'p' : '-';
    out += Signalled(*state.stopConnectEvent) ? 'c' : '-';
    out += Signalled(*state.stopMonitorEvent) ? 'm' : '-';
    return out;
}

class CRecordingWorkers : public CEngineWorkers {
public:
    void RemoveTunnelRoutes() override { Record("routes " + Events()); }
    void HangUpTunnel() override { Record("hang-up"); }
    void DisconnectWorker(DisconnectJob& job) override {
        Record("disconnect " + Events() + " routes=" + std::to_string(job.removeRoutes) +
               " notify=" + std::to_string(job.notifyOrchestrator) + " reason=" + std::to_string(job.reason) +
               (job.monitorThread ? " monitor" : ""));
    }
};

// A thread handed to the exit path: whether it runs, and whether a wait on it ends in time.
class CFakeThread : public platform::Thread {
public:
    CFakeThread(const char* name, bool running, bool endsInTime)
        : name_(name), running_(running), endsInTime_(endsInTime) {}
    bool IsRunning() override { return running_; }
    bool GetExitCode(uint32_t& code) override {
        code = running_ ? platform::kStillActive : 0;
        return true;
    }
    bool Wait(uint32_t ms) override {
        Record(std::string("wait ") + name_ + " " + std::to_string(ms) + " " + Events());
        if (endsInTime_) running_ = false;
        return !running_;
    }

private:
    const char* name_;
    bool running_;
    bool endsInTime_;
};

class CFakeExitWindow : public CExitWindow {
public:
    explicit CFakeExitWindow(ShownConnectionState shown) : shown_(shown) {}
    void KillUpgradeCheckTimer() override { Record("window: kill timer"); }
    ShownConnectionState GetShownState() override { return shown_; }
    void ShowDisconnecting() override {
        shown_ = kShownDisconnecting;
        Record("window: disconnecting");
    }
    void CloseDialogs() override { Record("window: close dialogs"); }
    ShownConnectionState shown_;
};

class ExitPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateEngineEvents());
        ResetEvents();
        GetEngineState().stopRequested.store(false);
        platform::SetMainWindow(window_.Handle());
        platform::SetPauseFunction(&RecordPause);
        g_steps = &steps_;
    }
    void TearDown() override {
        g_steps = nullptr;
        platform::SetPauseFunction(nullptr);
        platform::SetMainWindow(nullptr);
        ResetEvents();
        GetEngineState().stopRequested.store(false);
    }
    static void ResetEvents() {
        EngineState& state = GetEngineState();
        state.stopProcessCheckEvent->Reset();
        state.stopConnectEvent->Reset();
        state.stopMonitorEvent->Reset();
    }
    // Runs the exit path and waits for its worker; the messages the window got, as (message, wParam).
    std::vector<std::pair<uint32_t, uintptr_t>> Exit(uint32_t type, CFakeExitWindow& window, ExitJob job) {
        std::unique_ptr<platform::Thread> worker = ExitPath(type, window, std::move(job));
        EXPECT_TRUE(worker);
        if (worker) {
            EXPECT_TRUE(worker->Wait(10000));
        }
        std::vector<std::pair<uint32_t, uintptr_t>> posted;
        window_.PumpUntil([] { return false; }, 50);
        for (const test::RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) {
                delete reinterpret_cast<std::u16string*>(m.lParam);
                continue;
            }
            posted.emplace_back(m.message, m.wParam);
        }
        return posted;
    }
    ExitJob Job(uint32_t mode, bool connectRunning, bool connectEnds, bool monitorRunning) {
        ExitJob job;
        job.mode = mode;
        job.workers = std::make_shared<CRecordingWorkers>();
        job.connectThread = std::make_shared<CFakeThread>("connect", connectRunning, connectEnds);
        job.monitorThread = std::make_shared<CFakeThread>("monitor", monitorRunning, true);
        return job;
    }

    test::CLogCapture log_;
    test::CRecordingWindow window_;
    std::vector<std::string> steps_;
};

std::size_t Find(const std::string& text, const std::string& what) {
    const std::size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at;
}

}  // namespace

TEST_F(ExitPathTest, EveryTypeLogsItsReasonAndEndsWithUmExitButCancel) {
    struct Case {
        uint32_t type;
        const char* reason;  // nullptr: no reason line
    };
    const Case cases[] = {
        {0, "Reason: tray exit"},
        {1, "Reason: logout"},
        {2, "Reason: upgrade"},
        {3, "Reason: outer message"},
        {4, "Reason: token invalid"},
        {5, "Reason: cancel connection"},
        {6, "Reason: no checked process"},
        {7, "Reason: change password"},
        {8, "Reason: invalid process expression"},
        {9, nullptr},
        {1000, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        test::CLogCapture log;
        steps_.clear();
        GetEngineState().stopRequested.store(false);
        CFakeExitWindow window(kShownIdle);
        const auto posted = Exit(c.type, window, Job(NATIVE, false, true, false));
        const std::string text = log.Text();
        EXPECT_TRUE(GetEngineState().stopRequested.load());
        if (c.reason) {
            EXPECT_NE(text.find(c.reason), std::string::npos);
        } else {
            EXPECT_EQ(text.find("Reason:"), std::string::npos);
        }
        const bool cancel = c.type == kExitCancelConnection;
        EXPECT_EQ(text.find("Exit requested") != std::string::npos, !cancel);
        EXPECT_EQ(std::count(steps_.begin(), steps_.end(), "window: kill timer"), cancel ? 0 : 1);
        if (cancel) {
            EXPECT_TRUE(posted.empty());
        } else {
            EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, uintptr_t>>{{UM_EXIT, c.type}}));
        }
        // Idle: nothing to disconnect.
        EXPECT_EQ(text.find("Exit: disconnecting"), std::string::npos);
        Find(text, "Exit: stopping the connection");
        Find(text, "Exit: done waiting for the connect worker");
        ResetEvents();
    }
}

TEST_F(ExitPathTest, StepsRunInTheirFixedOrder) {
    struct Case {
        const char* name;
        uint32_t type;
        uint32_t mode;
        ShownConnectionState shown;
        bool monitorRunning;
        std::vector<std::string> steps;
        bool umExit;
    };
    const Case cases[] = {
        {"tray exit, connected through a tunnel",
         kExitTray,
         VCPE,
         kShownConnected,
         true,
         {"window: kill timer", "window: disconnecting", "window: close dialogs", "routes pc-", "hang-up",
          "wait connect 30000 pc-", "disconnect pcm routes=1 notify=1 reason=3 monitor", "pause 1000"},
         true},
        {"logout, connecting in NATIVE mode",
         kExitLogout,
         NATIVE,
         kShownConnecting,
         false,
         {"window: kill timer", "window: disconnecting", "window: close dialogs", "wait connect 30000 pc-",
          "disconnect pcm routes=1 notify=1 reason=3 monitor"},
         true},
        {"cancel connection of a DCPE dial, monitor running",
         kExitCancelConnection,
         DCPE,
         kShownConnecting,
         true,
         {"window: disconnecting", "window: close dialogs", "routes -c-", "hang-up", "wait connect 30000 -c-",
          "disconnect -cm routes=1 notify=0 reason=4 monitor", "pause 1000"},
         false},
        {"cancel connection, monitor ended: its stop event stays unsignalled",
         kExitCancelConnection,
         NATIVE,
         kShownConnecting,
         false,
         {"window: disconnecting", "window: close dialogs", "wait connect 30000 -c-",
          "disconnect -c- routes=1 notify=0 reason=4 monitor"},
         false},
        {"upgrade while idle in VCPE mode: routes and hang-up, no disconnect sequence",
         kExitUpgrade,
         VCPE,
         kShownIdle,
         false,
         {"window: kill timer", "window: close dialogs", "routes pc-", "hang-up", "wait connect 30000 pc-"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CLogCapture log;
        steps_.clear();
        CFakeExitWindow window(c.shown);
        const auto posted = Exit(c.type, window, Job(c.mode, true, true, c.monitorRunning));
        EXPECT_EQ(steps_, c.steps);
        if (c.umExit) {
            EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, uintptr_t>>{{UM_EXIT, c.type}}));
        } else {
            EXPECT_TRUE(posted.empty());
        }
        const std::string text = log.Text();
        const bool disconnects = c.shown != kShownIdle;
        const std::size_t stopping = Find(text, "Exit: stopping the connection");
        const std::size_t waited = Find(text, "Exit: done waiting for the connect worker");
        EXPECT_LT(stopping, waited);
        if (disconnects) {
            const std::size_t disconnecting = Find(text, "Exit: disconnecting");
            const std::size_t disconnected = Find(text, "Exit: disconnected");
            EXPECT_LT(waited, disconnecting);
            EXPECT_LT(disconnecting, disconnected);
        }
        ResetEvents();
    }
}

TEST_F(ExitPathTest, ConnectWorkerThatOutlivesTheBoundDoesNotStopTheExit) {
    CFakeExitWindow window(kShownConnecting);
    ExitJob job = Job(VCPE, true, false, false);
    const std::shared_ptr<platform::Thread> connect = job.connectThread;
    const auto posted = Exit(kExitTray, window, std::move(job));
    EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, uintptr_t>>{{UM_EXIT, kExitTray}}));
    EXPECT_TRUE(connect->IsRunning());
    EXPECT_EQ(connect.use_count(), 1) << "the worker lets go of the connect worker's thread object";
    EXPECT_EQ(std::count(steps_.begin(), steps_.end(), "wait connect 30000 pc-"), 1);
    EXPECT_EQ(steps_.back(), "pause 1000");
    EXPECT_NE(log_.Text().find("The connect worker did not end in time"), std::string::npos);
}
