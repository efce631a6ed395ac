// A whole diagnosis run on the host, with the outside tools played through the simulated shell and the
// upload going to the cloud stand-in: what it runs in which order, what it tells the window, that it pings
// loopback only, the bound on a tool that does not end, and how runs that overlap are serialised.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "api/ClientApi.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "diagnosis/Diagnosis.h"
#include "engine/DiagnosisHook.h"
#include "engine/Disconnect.h"
#include "engine/EngineState.h"
#include "engine/Heartbeat.h"
#include "platform/Files.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"
#include "platform/Messenger.h"
#include "platform/host/SimIcmp.h"
#include "platform/host/SimShell.h"
#include "platform/host/SimWindows.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/ZipEntries.h"

namespace {

using namespace velora;
using platform::host::ShellCall;
using velora::test::CCloudSimAccess;
using velora::test::CLogCapture;
using velora::test::CScratchFolder;
using velora::test::ReadBytes;
using velora::test::WriteBytes;

constexpr uint32_t kWaitMs = 30000;

class DiagnosisRunHost : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::ClearProfileForTest());
        platform::host::ClearShellCalls();
        platform::host::ClearIcmpEchoTargets();
        SetSettingText(u"DiagnosisPingTargets", u"127.0.0.1,localhost");
        folders_.diagnosis = scratch_.Path(u"diagnosis");
        folders_.program = scratch_.Path(u"program") + u"/";
        ASSERT_TRUE(platform::CreateOneDirectory(folders_.diagnosis));
        ASSERT_TRUE(platform::CreateOneDirectory(scratch_.Path(u"program")));
        WriteBytes(folders_.program + u"dispatch.exe", "stand-in");
        WriteBytes(folders_.program + u"kxconn.log", "engine log");
        // dispatch.exe "diagnose" writes its report where it is told.
        platform::host::SetShellRunHandler([](const ShellCall& call) {
            platform::ShellRun run{true, 0, true, 0};
            if (call.parameters.rfind(u"diagnose \"", 0) == 0) {
                const std::u16string path = call.parameters.substr(10, call.parameters.size() - 11);
                WriteBytes(path, "dispatch report\r\n");
            }
            return run;
        });
        tenant_ = sim_.Tenant(u"diagrun", u"{\"orch\":{\"tokens\":[\"tok-1\"]}}");
        SetSetting(u"AuthUrl", sim_.TenantUrl("http", tenant_) + u"/api/mobile/v2/auth");
        SetSetting(u"AuthToken", u"tok-1");
        SetSetting(u"CustomerId", u"acme");
        window_ = platform::host::CreateSimWindow({});
    }
    void TearDown() override {
        platform::host::SetShellRunHandler({});
        (void)platform::host::DestroySimWindow(window_);
        GetEngineState().ignoreAuthFailure.store(false);
        platform::ClearProfileForTest();
    }

    DiagnosisRequest Request(int32_t collect, bool connected = true) const {
        DiagnosisRequest request;
        request.collect = collect;
        request.notifyWindow = window_;
        request.mainWindow = [connected] { return DiagnosisConnection{connected, NATIVE}; };
        request.folders = folders_;
        request.toolTimeoutMs = 2000;
        return request;
    }
    std::u16string InDiagnosis(std::u16string_view name) const {
        return folders_.diagnosis + u"/" + std::u16string(name);
    }

    CLogCapture log_;
    CCloudSimAccess sim_;
    CScratchFolder scratch_;
    DiagnosisFolders folders_;
    std::u16string tenant_;
    platform::WindowHandle window_ = nullptr;
};

TEST_F(DiagnosisRunHost, CollectsUploadsTellsTheWindowAndCleansUp) {
    RunDiagnosis(Request(1));

    // The engine's tools, in order: capture on, the engine's report, capture off.
    std::vector<std::u16string> parameters;
    for (const ShellCall& call : platform::host::ShellCalls()) {
        EXPECT_EQ(call.file, folders_.program + u"dispatch.exe");
        EXPECT_EQ(call.verb, u"open");
        EXPECT_EQ(call.timeoutMs, 2000u);
        parameters.push_back(call.parameters);
    }
    const std::vector<std::u16string> expected = {
        u"\"set_brenx_pcapEnable/engine=0 1\"",
        u"diagnose \"" + InDiagnosis(u"dispatch.log").substr(0) + u"\"",
        u"\"set_brenx_pcapEnable/engine=0 0\""};
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0], expected[0]);
    EXPECT_EQ(parameters[1].rfind(u"diagnose \"", 0), 0u);
    EXPECT_EQ(parameters[2], expected[2]);

    // Loopback only.
    const std::vector<uint32_t> pinged = platform::host::IcmpEchoTargets();
    EXPECT_EQ(pinged.size(), 6u);
    for (uint32_t address : pinged) EXPECT_EQ(address & 0xFFu, 127u);

    // Reachable (1) and upload accepted (16).
    ASSERT_TRUE(platform::host::WaitForSimMessages(window_, 1, kWaitMs));
    const auto messages = platform::host::TakeSimMessages(window_);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, UM_DIAGNOSIS_DONE);
    EXPECT_EQ(messages[0].wParam, 17u);
    EXPECT_FALSE(messages[0].sent);
    EXPECT_FALSE(GetEngineState().ignoreAuthFailure.load());
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 0);

    // The bundle stays, the loose files are gone.
    std::vector<velora::test::ZipEntry> entries;
    ASSERT_TRUE(velora::test::ReadZipEntries(ReadBytes(InDiagnosis(kDiagnosisZipName)), entries));
    std::vector<std::string> names;
    std::string dispatch;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
        if (entry.name == "diagnosis/dispatch.log") dispatch = entry.data;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"diagnosis/connection.log", "diagnosis/network.log",
                                               "diagnosis/kxconn.log", "diagnosis/dispatch.log",
                                               "diagnosis/ui.log"}));
    // The engine's report, then the shared interface's section in 8-bit text (no engine runs here).
    EXPECT_EQ(
        dispatch.rfind(
            "dispatch report\r\n\n---------share_wan_if---------\nFailed to get ifIndex error code=", 0),
        0u)
        << dispatch;
    for (std::u16string_view name :
         {u"connection.log", u"network.log", u"dispatch.log", u"kxconn.log", u"ui.log"})
        EXPECT_FALSE(platform::FileExists(InDiagnosis(name))) << platform::Utf16ToUtf8(name);
}

TEST_F(DiagnosisRunHost, NotConnectedRunsNoEngineTool) {
    RunDiagnosis(Request(1, false));
    EXPECT_TRUE(platform::host::ShellCalls().empty());
    ASSERT_TRUE(platform::host::WaitForSimMessages(window_, 1, kWaitMs));
    std::vector<velora::test::ZipEntry> entries;
    ASSERT_TRUE(velora::test::ReadZipEntries(ReadBytes(InDiagnosis(kDiagnosisZipName)), entries));
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].name, "diagnosis/connection.log");
    EXPECT_EQ(entries[0].data, velora::test::Utf16Le(u"Connection Status: Not connected\n"));
}

TEST_F(DiagnosisRunHost, UploadOnlyRunSendsTheOldBundleAndTellsNobody) {
    RunDiagnosis(Request(1, false));
    (void)platform::host::TakeSimMessages(window_);
    const std::string before = ReadBytes(InDiagnosis(kDiagnosisZipName));
    SetSettingInt(u"DiagnosisResult", 1);
    RunDiagnosis(Request(0));
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 0);
    EXPECT_EQ(ReadBytes(InDiagnosis(kDiagnosisZipName)), before);
    EXPECT_TRUE(platform::host::TakeSimMessages(window_).empty());
    EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/orch/upload/req-2", u"method"), "PUT");
}

TEST_F(DiagnosisRunHost, RejectedSignInIsToldAndKeepsIgnoringAuthFailures) {
    tenant_ = sim_.Tenant(u"diagrej",
                          u"{\"orch\":{\"tokens\":[\"tok-1\"],\"upload\":{\"urlStatus\":401,"
                          u"\"invalidReasonCode\":1}}}");
    SetSetting(u"AuthUrl", sim_.TenantUrl("http", tenant_) + u"/api/mobile/v2/auth");
    RunDiagnosis(Request(1, false));
    ASSERT_TRUE(platform::host::WaitForSimMessages(window_, 1, kWaitMs));
    const auto messages = platform::host::TakeSimMessages(window_);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 39321u);
    EXPECT_TRUE(GetEngineState().ignoreAuthFailure.load())
        << "the window's handling of the rejection takes over";
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 1);

    // A run nobody asked to be told of (the heartbeat's) tells nobody, not even the main window; with no
    // window to take over, the run does not leave the flag set (the next heartbeat meets the refusal).
    GetEngineState().ignoreAuthFailure.store(false);
    DiagnosisRequest unasked = Request(1, false);
    unasked.notifyWindow = nullptr;
    platform::SetMainWindow(window_);
    RunDiagnosis(unasked);
    platform::SetMainWindow(nullptr);
    EXPECT_TRUE(platform::host::TakeSimMessages(window_).empty());
    EXPECT_FALSE(GetEngineState().ignoreAuthFailure.load()) << "no window to take over";
    EXPECT_EQ(GetSettingInt(u"DiagnosisResult", -5), 1);
}

// The runs the engine starts by itself (the heartbeat's and the disconnect notice's "orch-logfile") have no
// window to tell: the main window hears only of the settings button's run. The button's run is asked for
// after the background one; runs are serialised, so once it has ended the background one has ended too.
TEST_F(DiagnosisRunHost, BackgroundRunsTellNoWindowOnlyTheButtonsRunDoes) {
    struct Case {
        const char* name;
        std::function<void()> start;
    };
    const Case cases[] = {
        {"heartbeat asks for the logs",
         [this] {
             HeartbeatReading reading;
             reading.accepted = true;
             reading.collectLogs = true;
             EXPECT_EQ(HandleHeartbeatAnswer(reading, window_), std::nullopt);
         }},
        {"disconnect notice asks for the logs", [] { NotifyOrchestratorDisconnect(); }},
    };
    platform::SetMainWindow(window_);
    SetDiagnosisStarter(MakeDiagnosisStarter([] { return DiagnosisConnection{false, NATIVE}; }));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tenant_ = sim_.Tenant(u"diagbg" + platform::Utf8ToUtf16(std::to_string(++n)),
                              u"{\"orch\":{\"tokens\":[\"tok-1\"],\"disconnect\":{\"orchLogfile\":true}}}");
        SetSetting(u"AuthUrl", sim_.TenantUrl("http", tenant_) + u"/api/mobile/v2/auth");
        SetSetting(u"CustomerId", u"10086");
        c.start();
        std::unique_ptr<platform::Thread> button = StartDiagnosis(Request(1, false));
        ASSERT_TRUE(button);
        ASSERT_TRUE(button->Wait(kWaitMs));
        EXPECT_EQ(sim_.Last(u"/t/" + tenant_ + u"/api/mobile/v2/log/url", u"count"), "2")
            << "both runs uploaded";
        const auto messages = platform::host::TakeSimMessages(window_);
        ASSERT_EQ(messages.size(), 1u) << "the button's run alone tells the window";
        EXPECT_EQ(messages[0].message, UM_DIAGNOSIS_DONE);
        EXPECT_EQ(messages[0].wParam, 17u) << "the button's run: loopback answered, upload accepted";
    }
    SetDiagnosisStarter({});
    platform::SetMainWindow(nullptr);
}

TEST_F(DiagnosisRunHost, ToolThatDoesNotEndIsLoggedAndTheRunGoesOn) {
    platform::host::SetShellRunHandler([](const ShellCall&) {
        return platform::ShellRun{true, 0, false, 0};
    });
    DiagnosisRequest request = Request(1);
    request.toolTimeoutMs = 4000;
    RunDiagnosis(request);
    EXPECT_EQ(platform::host::ShellCalls().size(), 3u);
    EXPECT_NE(log_.Text().find("dispatch.exe has not ended within 4 seconds"), std::string::npos)
        << log_.Text();
    ASSERT_TRUE(platform::host::WaitForSimMessages(window_, 1, kWaitMs));
    EXPECT_TRUE(platform::FileExists(InDiagnosis(kDiagnosisZipName)));
}

// One run at a time: while one runs, an upload-only request is left out, a collecting one waits, and a
// further collecting one is folded into the waiting one.
TEST_F(DiagnosisRunHost, OverlappingRequestsAreSerialised) {
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    int inside = 0;
    int most = 0;
    int entered = 0;
    platform::host::SetShellRunHandler([&](const ShellCall& call) {
        std::unique_lock l(lock);
        ++inside;
        ++entered;
        most = std::max(most, inside);
        changed.notify_all();
        if (call.parameters == u"\"set_brenx_pcapEnable/engine=0 1\"")
            changed.wait_for(l, std::chrono::milliseconds(kWaitMs), [&] { return release; });
        --inside;
        return platform::ShellRun{true, 0, true, 0};
    });
    std::unique_ptr<platform::Thread> first = StartDiagnosis(Request(1));
    ASSERT_TRUE(first);
    {
        std::unique_lock l(lock);
        ASSERT_TRUE(changed.wait_for(l, std::chrono::milliseconds(kWaitMs), [&] { return entered > 0; }));
    }
    EXPECT_FALSE(StartDiagnosis(Request(0))) << "the running run uploads anyway";
    platform::WindowHandle second = platform::host::CreateSimWindow({});
    DiagnosisRequest waiting = Request(1);
    waiting.notifyWindow = nullptr;
    std::unique_ptr<platform::Thread> queued = StartDiagnosis(waiting);
    ASSERT_TRUE(queued);
    DiagnosisRequest folded = Request(1);
    folded.notifyWindow = second;
    EXPECT_FALSE(StartDiagnosis(folded)) << "folded into the waiting run, whose window it becomes";
    {
        std::lock_guard l(lock);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(first->Wait(kWaitMs));
    ASSERT_TRUE(queued->Wait(kWaitMs));
    EXPECT_EQ(most, 1) << "the runs never overlapped";
    EXPECT_EQ(platform::host::ShellCalls().size(), 6u) << "two runs of three tool calls";
    EXPECT_EQ(platform::host::TakeSimMessages(window_).size(), 1u);
    const auto told = platform::host::TakeSimMessages(second);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].message, UM_DIAGNOSIS_DONE);
    (void)platform::host::DestroySimWindow(second);
    EXPECT_NE(log_.Text().find("A diagnosis run is already under way or waiting"), std::string::npos);
}

// The program's start registers the starter: an engine request becomes a run (here an upload-only one,
// which stops at the missing auth URL and leaves the upload pending).
TEST_F(DiagnosisRunHost, EngineRequestsStartARunOnceTheApiIsInitialised) {
    SetSetting(u"AuthUrl", u"");
    ApiExit();
    ASSERT_EQ(ApiInit(nullptr, nullptr), 1);
    RequestDiagnosis(DiagnosisRun{0, false});
    bool ran = false;
    for (int i = 0; i < 300 && !ran; ++i) {
        ran = log_.Text().find("No server to upload the diagnosis bundle to") != std::string::npos;
        if (!ran) platform::SleepMs(100);
    }
    EXPECT_TRUE(ran) << log_.Text();
    SetDiagnosisStarter({});
    ApiExit();
}

}  // namespace
