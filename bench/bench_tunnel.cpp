// One VCPE bring-up against the cloud stand-in on loopback with the simulated dial-up (connecting at once)
// and the in-process helper service's simulated routing table: check URL live at the first poll, entry,
// key, dial, two tunnel routes. Reports the median time per bring-up, the stand-in's own handling time
// and their difference; the simulated service adds no delay of its own and the polling pause is not taken.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Log.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/EngineWorkers.h"
#include "engine/TunnelBringUp.h"
#include "inprocess/SimHelperService.h"
#include "platform/Kernel.h"
#include "platform/Text.h"
#include "platform/host/SimDialUp.h"

#include "StandInRun.h"
#include "StandInStats.h"

namespace {

using velora::bench::PostToStandIn;

velora::bench::CStandIn* g_standIn = nullptr;

void NoPause(uint32_t) {}

void BM_VcpeBringUp(benchmark::State& state) {
    const std::u16string control = g_standIn->Url("http");
    PostToStandIn(
        control + u"/_sim/tenant?name=bench",
        u"{\"orch\":{\"tokens\":[\"tok\"],\"connect\":{\"mode\":\"VCPE\"},\"gateway\":{\"liveAfter\":0}}}");
    const std::u16string answer = platform::Utf8ToUtf16(
        PostToStandIn(control + u"/t/bench/api/mobile/v2/connect", u"{\"sn\":\"SN\"}", u"tok"));
    corvane::CSimulatedNetwork& network = corvane::inprocess::SimulatedNetwork();
    network.Clear();
    network.SetAdapters({{u"Ethernet", 5, {}}, {u"Hal-Vane", 30, {}}});
    velora::EngineState& engine = velora::GetEngineState();
    engine.ipSetMode = 1;
    engine.whiteIpSet = u"10.10.0.0/16,172.16.0.0/12";
    engine.blackIpSet.clear();
    const velora::bench::StandInStats before =
        velora::bench::ReadStandInStats(control, u"/t/bench/orch/check");
    const velora::ConnectAnswer parsed = velora::ParseConnectAnswer(answer);
    std::vector<double> times;
    for (auto _ : state) {
        velora::ConnectContext context;
        const auto start = std::chrono::steady_clock::now();
        velora::StartVcpeTunnel(parsed, context);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        velora::RemoveTunnelRoutes();
        velora::HangUpTunnel();
        state.ResumeTiming();
        if (context.result != 0) {
            state.SkipWithError("the bring-up failed");
            return;
        }
    }
    const velora::bench::StandInStats after =
        velora::bench::ReadStandInStats(control, u"/t/bench/orch/check");
    velora::bench::SetStandInCounters(state, times, before, after, "checks_per_bringup");
}

BENCHMARK(BM_VcpeBringUp)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The phonebook goes to the run's folder as well.
    velora::bench::StandInRunSteps steps;
    steps.program = "bench_tunnel";
    steps.setUp = [](const std::string& dir) {
        velora::StartLog(nullptr);
        velora::CreateEngineEvents();
        platform::SetPauseFunction(&NoPause);
        corvane::inprocess::SetHelperServiceFolder(std::filesystem::path(dir) / "Corvane");
    };
    steps.tearDown = [] { platform::host::ResetSimDialUp(); };
    return velora::bench::RunBenchmarksWithStandIn(argc, argv, steps, g_standIn);
}
