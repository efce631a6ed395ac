// The link's steady-state costs on the host: CheckStatus's round trip over the engine pipe (to the
// simulated engine, so the client's own share: frame, lock, parse; target under 0.5 ms), and one pass of
// the native monitor while connected (heartbeat not due, status and counters to the window, the event
// waits at 0 ms; target under 1 ms of CPU). With VELORA_CALLGRIND_PASSES=N the program instead runs N
// passes with callgrind's instrumentation on only around them and prints the pass count, so that
//   valgrind --tool=callgrind --instr-atstart=no build/host/bin/bench_monitor
// reports the instructions of N passes (`./run bench` does this and divides).
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

#include "api/ClientApi.h"
#include "core/Settings.h"
#include "engine/EngineEvents.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "engine/NativeMonitor.h"
#include "engine/PipeFrame.h"
#include "platform/host/SimPipe.h"

#include "MonitorPasses.h"

namespace {

using namespace velora;
using bench::MonitorWindow;
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

uint32_t RunPasses(int passes) {
    g_statusLeft = passes;
    GetEngineState().stopMonitorEvent->Reset();
    const uint32_t code = NativeMonitor(MonitorWindow(), NativeMonitorTiming{0, 0, 0});
    (void)platform::host::TakeSimMessages(MonitorWindow());
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
    bench::MeasurePasses(state, RunPasses, kPasses);
}
BENCHMARK(BM_NativeMonitorPass)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return velora::bench::RunMonitorBenchmarks(
        argc, argv,
        [] {
            Prepare();
            RunPasses(2);
        },
        [](int passes) { RunPasses(passes); });
}
