// An exit (tray exit) while connected in NATIVE mode: the time from ExitPath to UM_EXIT at a simulated main
// window, with the built-in workers: the engine stopped over its pipe and by the in-process Corvane, the
// disconnect notice to the cloud stand-in on loopback (HTTPS). The connection is made through the exported
// API outside the timing. Target: well under a second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HostEngineStandIn.h"
#include "api/ClientApi.h"
#include "core/HttpClient.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "engine/ConnectContext.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/ExitPath.h"
#include "inprocess/SimHelperService.h"
#include "platform/Messenger.h"
#include "platform/host/SimWindows.h"

#include "BenchStandIn.h"

namespace {

namespace fs = std::filesystem;

velora::bench::CStandIn* g_standIn = nullptr;

class CConnectedWindow : public velora::CExitWindow {
public:
    void KillUpgradeCheckTimer() override {}
    velora::ShownConnectionState GetShownState() override { return velora::kShownConnected; }
    void ShowDisconnecting() override {}
    void CloseDialogs() override {}
};

void Post(const std::u16string& url, const std::u16string& body) {
    velora::CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.PostText(url, body, answer, status, 1);
}

// Takes what the window got until UM_EXIT arrives after the disconnect sequence's UM_DISCONNECTED (reason
// 3); false when that does not happen within 10 s.
bool WaitForExit(platform::WindowHandle window) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool disconnected = false;
    while (std::chrono::steady_clock::now() < end) {
        (void)platform::host::WaitForSimMessages(window, 1, 50);
        for (const platform::host::SimMessage& m : platform::host::TakeSimMessages(window)) {
            if (m.message == velora::UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(m.lParam);
            if (m.message == velora::UM_DISCONNECTED && m.wParam == velora::kDisconnectExit)
                disconnected = true;
            if (m.message == velora::UM_EXIT) return disconnected;
        }
    }
    return false;
}

void BM_ExitWhileConnectedNative(benchmark::State& state) {
    const std::u16string control = g_standIn->Url("http");
    Post(control + u"/_sim/tenant?name=benchexit",
         u"{\"customers\":[\"12\"],\"privacyVersion\":\"1\",\"errorCatalogue\":{\"version\":\"1\","
         u"\"entries\":[]},"
         u"\"accounts\":[{\"customerId\":\"12\",\"name\":\"alice\",\"password\":\"secret1\"}],"
         u"\"orch\":{\"connect\":{\"mode\":\"NATIVE\"},\"filter\":{\"siteTemplateId\":\"b\",\"version\":1,"
         u"\"ipSetMode\":0,\"whiteIpSet\":[\"10.0.0.0/8\"]}}}");
    const std::u16string base = g_standIn->Url("https") + u"/t/benchexit";
    velora::SetSettingText(u"DiscoveryUrl", base + u"/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DiscoveryBackupUrl", base + u"/backup/api/mobile/v1/orchinfo");
    velora::SetSetting(u"PrivacyVersion", u"1");
    char16_t buffer[256];
    if (velora::ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256) != 0) {
        state.SkipWithError("sign-in failed");
        return;
    }
    const platform::WindowHandle window = platform::host::CreateSimWindow({});
    platform::SetMainWindow(window);
    CConnectedWindow exitWindow;
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        velora::GetEngineState().stopRequested = false;
        const uint32_t connected = velora::ApiConnect(buffer, 256);
        (void)platform::host::TakeSimMessages(window);
        state.ResumeTiming();
        if (connected != 0) {
            state.SkipWithError("connect failed");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        velora::ExitJob job;
        job.mode = velora::NATIVE;
        std::unique_ptr<platform::Thread> worker = velora::ExitPath(velora::kExitTray, exitWindow, job);
        const bool exited = WaitForExit(window);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        if (worker) worker->Wait(10000);
        // The API still counts itself connected: its own disconnect puts it back to idle.
        velora::ApiDisconnect(buffer, 256);
        state.ResumeTiming();
        if (!exited) {
            state.SkipWithError("no UM_DISCONNECTED and UM_EXIT within 10 s");
            break;
        }
    }
    platform::SetMainWindow(nullptr);
    for (const platform::host::SimMessage& m : platform::host::DestroySimWindow(window))
        if (m.message == velora::UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(m.lParam);
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    state.counters["median_us"] = times[times.size() / 2];
    state.counters["max_us"] = times.back();
}

BENCHMARK(BM_ExitWhileConnectedNative)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Settings, log and the service's folder of this run stay in a folder of its own.
    char folder[] = "/tmp/velora-bench-exit-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder;
    fs::create_directories(dir + "/config");
    fs::create_directories(dir + "/data");
    fs::create_directories(dir + "/Corvane");
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    std::ofstream(dir + "/Corvane/ferronwin.scenario") << "connectDelayMs=0\n";
    int rc = 0;
    {
        velora::bench::CStandIn standIn;
        if (!standIn.Start(dir)) {
            std::fprintf(stderr, "bench_exit: the cloud stand-in did not start\n");
            rc = 1;
        } else {
            g_standIn = &standIn;
            corvane::inprocess::SetHelperServiceFolder(fs::path(dir) / "Corvane");
            velora::sim::InstallHostEngineStandIn();
            velora::ApiInit(nullptr, nullptr);
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
            velora::CloseEnginePipe();
            velora::sim::UninstallHostEngineStandIn();
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return rc;
}
