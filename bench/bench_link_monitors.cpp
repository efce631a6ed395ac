// One pass of the tunnel monitor and of the mobile-detect monitor on the host while the link is up: no
// heartbeat due, the dial-up state and the interface table read (tunnel), the address-change notification
// looked at without waiting, the stop request looked at through the pause function. Reported as CPU time
// per pass. With VELORA_CALLGRIND_PASSES=N the program instead runs N passes of each monitor with
// callgrind's instrumentation on only around them and prints the pass count, so that
//   valgrind --tool=callgrind --instr-atstart=no build/host/bin/bench_link_monitors
// reports the instructions of 2N passes.
#include <benchmark/benchmark.h>

#include <atomic>

#include "api/ClientApi.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/Heartbeat.h"
#include "engine/MobileDetect.h"
#include "engine/TunnelMonitor.h"
#include "inprocess/SimHelperService.h"
#include "platform/Kernel.h"
#include "platform/host/SimDialUp.h"
#include "platform/host/SimInterfaces.h"

#include "MonitorPasses.h"

namespace {

using namespace velora;
using bench::MonitorWindow;

std::atomic<int> g_pausesLeft{0};

// Each pass pauses once on the stop request; the monitor is asked to stop when the passes run out.
void CountPause(uint32_t) {
    if (g_pausesLeft.fetch_sub(1) == 1) GetEngineState().stopMonitorEvent->Set();
}

void Prepare() {
    static const bool ready = [] {
        ApiInit(nullptr, nullptr);
        CreateEngineEvents();
        SetSetting(u"HeartbeatUrl", u"");
        SetSettingInt(u"HeartbeatInterval", 3600);
        MarkHeartbeatSent(CurrentTimeMillis());  // none due while the benchmark runs
        platform::host::SetSimulatedInterfaces({{"Ethernet", 5, 6}, {"Hal-Vane", 300, 4000}});
        GetEngineState().rasConnection = platform::host::AddSimConnection(u"Hal-Vane", true);
        corvane::inprocess::SetHelperAnswer(u"FindMinMetricInfOfDefaultGW", -1);
        platform::SetPauseFunction(CountPause);
        return true;
    }();
    (void)ready;
}

// The pauses before the first pass count as well: one for the tunnel monitor, two for mobile-detect.
uint32_t RunTunnelPasses(int passes) {
    g_pausesLeft = passes + 1;
    GetEngineState().stopMonitorEvent->Reset();
    const uint32_t code = TunnelMonitor(MonitorWindow(), TunnelMonitorTiming{0, 0, {}});
    (void)platform::host::TakeSimMessages(MonitorWindow());
    return code;
}
uint32_t RunMobileDetectPasses(int passes) {
    g_pausesLeft = passes + 2;
    GetEngineState().stopMonitorEvent->Reset();
    const uint32_t code = MobileDetectMonitor(MonitorWindow(), MobileDetectTiming{0, 0, 0, {}});
    (void)platform::host::TakeSimMessages(MonitorWindow());
    return code;
}

template <uint32_t (*Run)(int)>
void BM_MonitorPass(benchmark::State& state) {
    Prepare();
    constexpr int kPasses = 200;
    bench::MeasurePasses(state, Run, kPasses);
}
BENCHMARK_TEMPLATE(BM_MonitorPass, RunTunnelPasses)
    ->Name("BM_TunnelMonitorPass")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_MonitorPass, RunMobileDetectPasses)
    ->Name("BM_MobileDetectMonitorPass")
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return velora::bench::RunMonitorBenchmarks(argc, argv, Prepare, [](int passes) {
        RunTunnelPasses(passes);
        RunMobileDetectPasses(passes);
    });
}
