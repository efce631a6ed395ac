// The link's steady-state costs on the host: CheckStatus's round trip over the engine pipe (to the
// simulated engine, so the client's own share: frame, lock, parse; target under 0.5 ms), and one pass of
// the native monitor while connected (heartbeat not due, status and counters to the window, the event
// waits at 0 ms; target under 1 ms of CPU). With VELORA_CALLGRIND_PASSES=N the program instead runs N
// passes with callgrind's instrumentation on only around them and prints the pass count, so that
//   valgrind --tool=callgrind --instr-atstart=no build/host/bin/bench_monitor
// reports the instructions of N passes (`./run bench` does this and divides).
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "api/ClientApi.h"
#include "core/Settings.h"
#include "engine/EngineEvents.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/NativeMonitor.h"
#include "engine/PipeFrame.h"
#include "platform/host/SimPipe.h"
#include "platform/host/SimWindows.h"

namespace {

using namespace velora;
using platform::host::SimPipeAnswer;

std::atomic<int> g_statusLeft{0};

// The engine: a status with two tunnels; asks the monitor to stop once `g_statusLeft` runs out.
void ServeEngine() {
    static const std::string status =
        EncodePipeFrame(0,
                        "Version: 1\nState: CONNECTED\n"
                        "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 123456789,987654321,1,2\n"
                        "Tunnel(txbytes/rxbytes/txpkts/rxpkts): 5,7,1,1\n",
                        kPipeMaxFrameLength);
    platform::host::ServeSimPipe(kEnginePipeName, [](std::string_view) {
        if (g_statusLeft.fetch_sub(1) == 1) GetEngineState().stopMonitorEvent->Set();
        return SimPipeAnswer{status};
    });
}

void Prepare() {
    static const bool ready = [] {
        ApiInit(nullptr, nullptr);
        CreateEngineEvents();
        SetSetting(u"HeartbeatUrl", u"");
        SetSettingInt(u"HeartbeatInterval", 3600);  // due once, in the first pass of the first run
        ServeEngine();
        return true;
    }();
    (void)ready;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The monitor's window: takes the counters text as the main window does and throws the messages away.
platform::WindowHandle Window() {
    static platform::WindowHandle window =
        platform::host::CreateSimWindow({}, [](uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; });
    return window;
}

uint32_t RunPasses(int passes) {
    g_statusLeft = passes;
    GetEngineState().stopMonitorEvent->Reset();
    const uint32_t code = NativeMonitor(Window(), NativeMonitorTiming{0, 0, 0});
    (void)platform::host::TakeSimMessages(Window());
    return code;
}

void BM_CheckStatusRoundTrip(benchmark::State& state) {
    Prepare();
    g_statusLeft = 1 << 30;
    int64_t sent = 0;
    int64_t received = 0;
    for (auto _ : state) {
        if (ApiCheckStatus(&sent, &received) != 1) state.SkipWithError("CheckStatus failed");
        benchmark::DoNotOptimize(sent);
    }
    if (sent != 123456794) state.SkipWithError("wrong counters");
}
BENCHMARK(BM_CheckStatusRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_NativeMonitorPass(benchmark::State& state) {
    Prepare();
    constexpr int kPasses = 200;
    RunPasses(2);  // the one due heartbeat goes out here, outside the timing
    double cpu = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        const double before = ThreadCpuSeconds();
        if (RunPasses(kPasses) != 0) state.SkipWithError("the monitor did not end on the stop request");
        cpu += ThreadCpuSeconds() - before;
        ++runs;
    }
    state.counters["cpu_us_per_pass"] = runs ? cpu * 1e6 / static_cast<double>(runs * kPasses) : 0;
    state.SetItemsProcessed(runs * kPasses);
}
BENCHMARK(BM_NativeMonitorPass)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (const char* passes = std::getenv("VELORA_CALLGRIND_PASSES")) {
        const int n = std::max(1, std::atoi(passes));
        Prepare();
        RunPasses(2);
        CALLGRIND_START_INSTRUMENTATION;
        RunPasses(n);
        CALLGRIND_STOP_INSTRUMENTATION;
        std::printf("passes %d\n", n);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
