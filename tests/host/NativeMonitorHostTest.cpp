// The native link monitor end to end: heartbeats against the cloud stand-in's orchestrator (every order,
// the refusals, the route callback), the engine played by a simulated pipe server (its status, failing
// once or twice, turned away), and what reaches the main window; then the disconnect worker against both.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/DeviceInfo.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "engine/DiagnosisHook.h"
#include "engine/EngineEvents.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/Disconnect.h"
#include "engine/EngineWorkers.h"
#include "engine/NativeMonitor.h"
#include "engine/PipeFrame.h"
#include "inprocess/SimHelperService.h"
#include "platform/ComApartment.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "platform/Text.h"
#include "platform/host/SimPipe.h"
#include "platform/host/SimTethering.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora::test {
namespace {

namespace sim = corvane::inprocess;
using platform::host::SimPipeAnswer;

constexpr char kUp[] = "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 1,2,0,0\n";
constexpr char kDown[] = "State: DOWN\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 10,20,1,2\n";
// Runs that should end on their own are stopped after this many status requests at the latest.
constexpr int kSafetyStop = 200;

class NativeMonitorHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(CreateEngineEvents());
        EngineState& engine = GetEngineState();
        engine.stopMonitorEvent->Reset();
        engine.disconnectionEvent->Reset();
        for (std::atomic<bool>* flag :
             {&engine.enableHotspot, &engine.popIpsEnable, &engine.allowClientSpecifyMode,
              &engine.ignoreAuthFailure, &engine.icsEnabled})
            flag->store(false);
        sim::SetHelperServiceFolder(std::filesystem::path(scratch_.Path(u"Corvane")));
        SetDiagnosisStarter([this](const DiagnosisRun& run) { collects_.push_back(run.collect); });
        CloseEnginePipe();
        SetSettingInt(u"HeartbeatInterval", 0);  // a heartbeat in every pass
        SetSetting(u"AuthToken", u"tok-mon");
    }
    void TearDown() override {
        // Nothing the client sent broke the protocol (a refused heartbeat would pass unseen otherwise).
        if (!tenant_.empty()) {
            EXPECT_EQ(sim_.Refusals(tenant_), "");
        }
        CloseEnginePipe();
        platform::host::StopSimPipe(kEnginePipeName);
        platform::host::SetSimPipeServerImage(kEnginePipeName, u"");
        SetDiagnosisStarter({});
        sim::ClearHelperAnswers();
        sim::SetHelperServiceFolder({});
        platform::SetMainWindow(nullptr);
        GetEngineState().stopMonitorEvent->Reset();
        GetEngineState().disconnectionEvent->Reset();
        SetSettingInt(u"HeartbeatInterval", 10);
        SetSetting(u"HeartbeatUrl", u"");
        SetSetting(u"AuthToken", u"");
    }

    // A tenant whose heartbeat answers `steps` in turn; the client's heartbeat URL points at it.
    void Orchestrator(std::u16string_view steps) {
        tenant_ = sim_.Tenant(u"monitor", u"{\"orch\":{\"tokens\":[\"tok-mon\"],\"heartbeat\":" +
                                              std::u16string(steps) + u"}}");
        SetSetting(u"HeartbeatUrl", sim_.TenantUrl("http", tenant_) + u"/orch/heartbeat");
    }
    std::u16string Path(std::u16string_view rest) const { return u"/t/" + tenant_ + std::u16string(rest); }
    int Heartbeats() const { return std::stoi("0" + sim_.Last(Path(u"/orch/heartbeat"), u"count")); }

    // The engine: status request n (from 1) is answered by `status(n)` (a payload, or "" for a refused
    // request); after request `stopAt` the monitor is asked to stop.
    void Engine(std::function<std::string(int)> status, int stopAt = kSafetyStop) {
        statusRequests_ = 0;
        platform::host::ServeSimPipe(kEnginePipeName, [this, status, stopAt](std::string_view written) {
            const PipeFrameParse parse = ParsePipeFrame(written);
            if (parse.state != PipeFrameState::kComplete) return SimPipeAnswer{"", true};
            if (parse.header.code != PIPE_CMD_STATUS) return SimPipeAnswer{EncodePipeFrame(0, "ifindex=0\n")};
            const int n = ++statusRequests_;
            if (n >= stopAt) GetEngineState().stopMonitorEvent->Set();
            const std::string payload = status(n);
            return SimPipeAnswer{payload.empty() ? EncodePipeFrame(1, "busy")
                                                 : EncodePipeFrame(0, payload, kPipeMaxFrameLength)};
        });
    }

    uint32_t Run() { return NativeMonitor(window_.Handle(), NativeMonitorTiming{0, 1, 1}); }

    // UM_LINK_STATE as posted (codes) and as sent (counters: wParam and text).
    struct LinkMessages {
        std::vector<uintptr_t> posted;
        std::vector<uintptr_t> sentKinds;
        std::vector<std::u16string> sentTexts;
    };
    LinkMessages Link() {
        LinkMessages out;
        for (const RecordedMessage& m : Messages()) {
            if (m.message != UM_LINK_STATE) continue;
            if (m.sent) {
                out.sentKinds.push_back(m.wParam);
                out.sentTexts.push_back(m.text);
            } else {
                out.posted.push_back(m.wParam);
            }
        }
        return out;
    }

    // What reached the window, without the log lines (freed here, as the main window frees them).
    std::vector<RecordedMessage> Messages() {
        std::vector<RecordedMessage> out;
        for (RecordedMessage& m : window_.Take()) {
            if (m.message == UM_LOG_LINE) {
                delete reinterpret_cast<std::u16string*>(m.lParam);
                continue;
            }
            out.push_back(std::move(m));
        }
        return out;
    }

    // The test's thread runs the worker's code, and joins COM as the worker does at its start.
    const platform::CComApartment com_;
    CCloudSimAccess sim_;
    CScratchFolder scratch_;
    CRecordingWindow window_;
    std::u16string tenant_;
    std::vector<int32_t> collects_;
    std::atomic<int> statusRequests_{0};
};

struct HeartbeatCase {
    const char* name;
    const char16_t* steps;
    bool ignoreAuthFailure;
    bool allowClientMode;
    uint32_t exitCode;
    std::vector<uintptr_t> posted;
    int heartbeats;
    std::vector<int32_t> collects;
    const char* log;
};

TEST_F(NativeMonitorHost, ObeysEveryHeartbeatOrderAndRefusal) {
    const HeartbeatCase cases[] = {
        {"reconnect",
         u"[{\"action\":1}]",
         false,
         false,
         2,
         {2},
         1,
         {},
         "The orchestrator asks the client to reconnect"},
        {"password change",
         u"[{\"status\":401,\"invalidReasonCode\":1}]",
         false,
         false,
         0,
         {30117},
         1,
         {},
         ""},
        {"sign out", u"[{\"status\":401,\"invalidReasonCode\":2}]", false, false, 0, {30106}, 1, {}, ""},
        {"401 without a message is not a refusal",
         u"[{\"status\":401,\"body\":{\"code\":401}},{\"action\":1}]",
         false,
         false,
         2,
         {2},
         2,
         {},
         ""},
        {"401 while refusals are ignored",
         u"[{\"status\":401,\"invalidReasonCode\":1},{\"action\":1}]",
         true,
         false,
         2,
         {2},
         2,
         {},
         ""},
        {"a failing heartbeat waits for the next",
         u"[{\"status\":503},{\"action\":1}]",
         false,
         false,
         2,
         {2},
         2,
         {},
         ""},
        {"client may choose its mode",
         u"[{\"action\":3}]",
         false,
         true,
         0,
         {4},
         1,
         {},
         "The orchestrator asks the client to choose the connection mode"},
        {"client may not choose its mode",
         u"[{\"action\":3},{\"action\":1}]",
         false,
         false,
         2,
         {2},
         2,
         {},
         ""},
        {"logs",
         u"[{\"action\":0,\"orchLogfile\":true},{\"action\":1}]",
         false,
         false,
         2,
         {2},
         2,
         {1},
         "The orchestrator asks for the logs"},
    };
    for (const HeartbeatCase& c : cases) {
        SCOPED_TRACE(c.name);
        CLogCapture log;
        collects_.clear();
        GetEngineState().ignoreAuthFailure.store(c.ignoreAuthFailure);
        GetEngineState().allowClientSpecifyMode.store(c.allowClientMode);
        Orchestrator(c.steps);
        Engine([](int) { return std::string(kUp); });
        EXPECT_EQ(Run(), c.exitCode);
        EXPECT_EQ(Link().posted, c.posted);
        EXPECT_EQ(Heartbeats(), c.heartbeats);
        EXPECT_EQ(collects_, c.collects);
        EXPECT_NE(log.Text().find(c.log), std::string::npos) << log.Text();
        EXPECT_NE(log.Text().find("Link monitor ended"), std::string::npos);
        GetEngineState().stopMonitorEvent->Reset();
    }
}

TEST_F(NativeMonitorHost, RouteCallbackAddsTheListAndConfirmsWithoutTheQuery) {
    GetEngineState().popIpsEnable.store(true);
    sim::SetHelperAnswer(u"AddRouterToGW", 0);
    const int addsBefore = sim::HelperCallCount(u"AddRouterToGW");
    CLogCapture log;
    Orchestrator(u"[{\"action\":2,\"routes\":[\"10.1.0.0/16\",\"10.2.0.0/16\"]},{\"action\":1}]");
    Engine([](int) { return std::string(kUp); });
    EXPECT_EQ(Run(), 2u);
    EXPECT_EQ(sim::HelperCallCount(u"AddRouterToGW"), addsBefore + 1);
    EXPECT_NE(log.Text().find("Routes from the orchestrator: 10.1.0.0/16,10.2.0.0/16"), std::string::npos)
        << log.Text();
    EXPECT_NE(log.Text().find("Routes from the orchestrator added and confirmed"), std::string::npos);
    // The routes were fetched with the query, then confirmed at the URL without it.
    const std::string state = sim_.Last(Path(u"/orch/callback"), u"target");
    EXPECT_EQ(state, platform::Utf16ToUtf8(Path(u"/orch/callback")));
    EXPECT_EQ(sim_.Last(Path(u"/orch/callback"), u"count"), "2");
    EXPECT_EQ(sim_.Last(Path(u"/orch/callback"), u"header&name=X-KX-AUTH-HEADER"), "tok-mon");
}

TEST_F(NativeMonitorHost, RouteCallbackThatFailsOrIsNotWantedAddsNothing) {
    struct Case {
        const char* name;
        bool popIps;
        bool fail;
        const char* log;
        const char* absent;
    };
    const Case cases[] = {
        {"callback fails", true, true, "Route callback failed (result 0, status 500)",
         "Routes from the orchestrator:"},
        {"routes not wanted", false, false, "The orchestrator has routes for this client",
         "Route callback failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GetEngineState().popIpsEnable.store(c.popIps);
        const int addsBefore = sim::HelperCallCount(u"AddRouterToGW");
        CLogCapture log;
        Orchestrator(u"[{\"action\":2,\"routes\":[\"10.1.0.0/16\"]},{\"action\":1}]");
        if (c.fail)
            sim_.Fault(u"{\"path\":\"" + Path(u"/orch/callback") + u"\",\"kind\":\"fail\",\"status\":500}");
        Engine([](int) { return std::string(kUp); });
        EXPECT_EQ(Run(), 2u);
        EXPECT_EQ(sim::HelperCallCount(u"AddRouterToGW"), addsBefore);
        EXPECT_NE(log.Text().find(c.log), std::string::npos) << log.Text();
        EXPECT_EQ(log.Text().find(c.absent), std::string::npos) << log.Text();
        GetEngineState().stopMonitorEvent->Reset();
    }
}

TEST_F(NativeMonitorHost, TunnelDownIsReportedOnlyFromPass31) {
    Orchestrator(u"[{\"action\":0}]");
    Engine([](int) { return std::string(kDown); }, 33);
    EXPECT_EQ(Run(), 0u);
    const LinkMessages link = Link();
    EXPECT_TRUE(link.posted.empty());
    ASSERT_EQ(link.sentKinds.size(), 33u);
    for (std::size_t i = 0; i < link.sentKinds.size(); ++i) {
        EXPECT_EQ(link.sentKinds[i], i + 1 < kTunnelDownPasses ? 0u : 3u) << "pass " << i + 1;
        EXPECT_EQ(link.sentTexts[i], u"10,20");
    }
}

struct EngineCase {
    const char* name;
    std::vector<int> failing;  // status requests the engine refuses
    int stopAt;
    uint32_t exitCode;
    std::vector<uintptr_t> posted;
    const char* log;
};

TEST_F(NativeMonitorHost, OneFailedStatusIsToleratedTheSecondEndsTheLink) {
    const EngineCase cases[] = {
        {"one failure", {2}, 5, 0, {}, "Link monitor asked to stop"},
        {"second failure, much later",
         {2, 9},
         kSafetyStop,
         2,
         {2},
         "The data-path engine does not answer (error -5048)"},
        {"two in a row", {1, 2}, kSafetyStop, 2, {2}, "The data-path engine does not answer (error -5048)"},
    };
    for (const EngineCase& c : cases) {
        SCOPED_TRACE(c.name);
        CLogCapture log;
        Orchestrator(u"[{\"action\":0}]");
        Engine(
            [&c](int n) {
                for (int f : c.failing)
                    if (f == n) return std::string();
                return std::string(kUp);
            },
            c.stopAt);
        EXPECT_EQ(Run(), c.exitCode);
        const LinkMessages link = Link();
        EXPECT_EQ(link.posted, c.posted);
        EXPECT_EQ(link.sentKinds.size(),
                  static_cast<std::size_t>(statusRequests_.load()) - (c.exitCode == 2 ? 2 : 1));
        for (const std::u16string& text : link.sentTexts) EXPECT_EQ(text, u"1,2");
        EXPECT_NE(log.Text().find(c.log), std::string::npos) << log.Text();
        // A monitor that ends on its own leaves no stop request for the next one.
        EXPECT_FALSE(GetEngineState().stopMonitorEvent->Wait(0));
    }
}

TEST_F(NativeMonitorHost, EngineGoneOrTurnedAwayOrAnImpostorLosesTheLink) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* log;
    };
    const Case cases[] = {
        {"turned away", [] { GetEngineState().disconnectionEvent->Set(); },
         "The orchestrator turned the data-path engine away"},
        {"no engine", [] { platform::host::StopSimPipe(kEnginePipeName); },
         "Cannot reach the data-path engine (error 2)"},
        {"impostor",
         [] { platform::host::SetSimPipeServerImage(kEnginePipeName, u"/tmp/elsewhere/ferronwin.exe"); },
         "Refused the engine pipe: it is served by /tmp/elsewhere/ferronwin.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLogCapture log;
        Orchestrator(u"[{\"action\":0}]");
        Engine([](int) { return std::string(kUp); });
        c.arrange();
        EXPECT_EQ(Run(), 2u);
        EXPECT_EQ(Link().posted, std::vector<uintptr_t>{2});
        EXPECT_NE(log.Text().find(c.log), std::string::npos) << log.Text();
        GetEngineState().disconnectionEvent->Reset();
        platform::host::SetSimPipeServerImage(kEnginePipeName, u"");
    }
}

TEST_F(NativeMonitorHost, StopRequestEndsTheMonitorThroughMonitorThread) {
    Orchestrator(u"[{\"action\":0}]");
    Engine([](int) { return std::string(kUp); }, 1);
    platform::SetMainWindow(window_.Handle());
    uint32_t mode = NATIVE;
    EXPECT_EQ(MonitorThread(&mode), kMonitorStopped);
    EXPECT_EQ(Link().sentKinds.size(), 1u);
    // The tunnel modes run their own monitor, which the stop request ends as well.
    mode = VCPE;
    GetEngineState().stopMonitorEvent->Set();
    EXPECT_EQ(MonitorThread(&mode), kMonitorStopped);
}

// With the hotspot wanted: the engine's sharing interface is asked for once at the start, and the watcher
// reads the hotspot every pass but asks the helper service only when it changes.
TEST_F(NativeMonitorHost, HotspotIsReadEveryPassAndTheServiceAskedOnlyOnAChange) {
    EngineState& engine = GetEngineState();
    engine.enableHotspot.store(true);
    engine.hasWirelessAdapter.store(true);
    Orchestrator(u"[{\"action\":0}]");
    int shareQueries = 0;
    platform::host::ServeSimPipe(kEnginePipeName, [&](std::string_view written) {
        const PipeFrameParse parse = ParsePipeFrame(written);
        if (parse.header.code == PIPE_CMD_GET_SHARE_IF) {
            ++shareQueries;
            return SimPipeAnswer{EncodePipeFrame(0, "ifindex=5\n")};
        }
        if (++statusRequests_ >= 4) GetEngineState().stopMonitorEvent->Set();
        return SimPipeAnswer{EncodePipeFrame(0, kUp)};
    });
    // The engine shares interface 5, so the watcher starts from "on"; the hotspot reads "off".
    platform::host::SetSimTethering({platform::TetheringStage::kRead, false});
    const uint32_t probesBefore = platform::host::SimTetheringProbeCount();
    const int notifiesBefore = sim::HelperCallCount(u"WifiSpotHotNotify");
    CLogCapture log;
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(shareQueries, 1);
    EXPECT_EQ(platform::host::SimTetheringProbeCount() - probesBefore, 4u);
    EXPECT_EQ(sim::HelperCallCount(u"WifiSpotHotNotify"), notifiesBefore + 1);
    std::vector<uintptr_t> hotspot;
    for (const RecordedMessage& m : Messages())
        if (m.message == UM_HOTSPOT) hotspot.push_back(m.wParam);
    EXPECT_EQ(hotspot, std::vector<uintptr_t>{4});
    const std::string text = log.Text();
    EXPECT_NE(text.find("Sharing interface 5 (status 0)"), std::string::npos) << text;
    const std::size_t watching = text.find("Watching the mobile hotspot");
    EXPECT_NE(watching, std::string::npos);
    EXPECT_EQ(text.find("Watching the mobile hotspot", watching + 1), std::string::npos);  // first pass only

    // The machine shares its connection itself: the watcher is not run.
    engine.icsEnabled.store(true);
    Engine([](int) { return std::string(kUp); }, 3);
    const uint32_t probes = platform::host::SimTetheringProbeCount();
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(platform::host::SimTetheringProbeCount(), probes);
    platform::host::SetSimTethering({});
    engine.hasWirelessAdapter.store(false);
}

// ---- The disconnect worker --------------------------------------------------------------------------

TEST_F(NativeMonitorHost, DisconnectWorkerStopsTheEngineAfterTheMonitorAndTellsTheOrchestrator) {
    tenant_ = sim_.Tenant(u"disconnect", u"{\"orch\":{\"tokens\":[\"tok-mon\"]}}");
    SetSetting(u"AuthUrl", sim_.TenantUrl("http", tenant_) + u"/api/mobile/v2/auth");
    SetSetting(u"CustomerId", u"4321");
    std::atomic<bool> monitorDone{false};
    std::atomic<bool> stopAfterMonitor{false};
    std::atomic<int> stops{0};
    platform::host::ServeSimPipe(kEnginePipeName, [&](std::string_view written) {
        if (ParsePipeFrame(written).header.code == PIPE_CMD_STOP) {
            ++stops;
            stopAfterMonitor = monitorDone.load();
        }
        return SimPipeAnswer{EncodePipeFrame(0, "")};
    });
    platform::ThreadCreation monitor = platform::StartThread([&] {
        platform::SleepMs(200);
        monitorDone = true;
        return uint32_t{0};
    });
    ASSERT_TRUE(monitor.thread);
    platform::SetMainWindow(window_.Handle());
    const int stopsBefore = sim::HelperCallCount(u"StopDataPath");

    DisconnectJob job;
    job.removeRoutes = 1;
    job.notifyOrchestrator = 1;
    job.reason = kDisconnectNoRetry;
    job.mode = NATIVE;
    job.monitorThread = monitor.thread.get();
    DisconnectWorker(job);

    EXPECT_EQ(stops.load(), 1);
    EXPECT_TRUE(stopAfterMonitor.load());
    EXPECT_EQ(sim::HelperCallCount(u"StopDataPath"), stopsBefore + 1);
    const std::string serial = platform::Utf16ToUtf8(GetInstallationSerial());
    EXPECT_EQ(sim_.Last(Path(u"/api/mobile/v2/disconnect"), u"body"),
              "{\"customerId\":4321, \"sn\":\"" + serial + "\"}");
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, UM_DISCONNECTED);
    EXPECT_EQ(messages[0].wParam, kDisconnectNoRetry);

    // A tunnel is hung up instead; the engine is left alone and nobody is told without the flag.
    GetEngineState().rasConnection.store(reinterpret_cast<RasConnectionHandle>(0x1234));
    job.mode = DCPE;
    job.notifyOrchestrator = 0;
    job.reason = kDisconnectCancelConnecting;
    job.monitorThread = nullptr;
    DisconnectWorker(job);
    EXPECT_EQ(stops.load(), 1);
    EXPECT_EQ(GetEngineState().rasConnection.load(), nullptr);
    EXPECT_EQ(sim_.Last(Path(u"/api/mobile/v2/disconnect"), u"count"), "1");
    const auto second = Messages();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].wParam, kDisconnectCancelConnecting);
    SetSetting(u"AuthUrl", u"");
    SetSetting(u"CustomerId", u"");
}

}  // namespace
}  // namespace velora::test
