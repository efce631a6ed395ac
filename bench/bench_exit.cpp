// An exit (tray exit) while connected in NATIVE mode: the time from ExitPath to UM_EXIT at a simulated main
// window, with the built-in workers: the engine stopped over its pipe and by the in-process Corvane, the
// disconnect notice to the cloud stand-in on loopback (HTTPS). The connection is made through the exported
// API outside the timing. Target: well under a second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "api/ClientApi.h"
#include "core/WindowMessages.h"
#include "engine/ConnectContext.h"
#include "engine/EngineState.h"
#include "engine/ExitPath.h"
#include "platform/Messenger.h"
#include "platform/host/SimWindows.h"

#include "NativeConnectRun.h"

namespace {

velora::bench::CStandIn* g_standIn = nullptr;

class CConnectedWindow : public velora::CExitWindow {
public:
    void KillUpgradeCheckTimer() override {}
    velora::ShownConnectionState GetShownState() override { return velora::kShownConnected; }
    void ShowDisconnecting() override {}
    void CloseDialogs() override {}
};

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
    char16_t buffer[256];
    if (!velora::bench::SignInToNativeTenant(state, *g_standIn, u"benchexit", buffer)) return;
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
    return velora::bench::RunNativeConnectBenchmarks(argc, argv, "bench_exit", 0 /* announces at once */,
                                                     g_standIn);
}
