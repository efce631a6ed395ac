// Connect in NATIVE mode through the exported API after a signed-in ValidateUser, with the filter list
// already cached, against the cloud stand-in on loopback (HTTPS) and the host's engine stand-in (started
// by the in-process Corvane, announcing at once): requests per connect (from the stand-in's record), the
// median time to connected, the stand-in's own handling time and the engine's own delay, and what is
// left: what the client adds.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "api/ClientApi.h"
#include "engine/EnginePipe.h"
#include "helper/HelperClient.h"

#include "NativeConnectRun.h"
#include "StandInRun.h"
#include "StandInStats.h"

namespace {

using velora::bench::CStandIn;

CStandIn* g_standIn = nullptr;
constexpr double kEngineDelayMs = 0;  // the engine stand-in's connectDelayMs

velora::bench::StandInStats Stats(const std::u16string& control) {
    return velora::bench::ReadStandInStats(control, u"/t/benchconnect");
}

// The engine goes as a disconnect would end it: the stop command over its pipe, then the service.
void EndEngine() {
    (void)velora::StopEngine();
    (void)velora::StopDataPath();
}

void BM_ConnectNative(benchmark::State& state) {
    const std::u16string control = g_standIn->Url("http");
    char16_t buffer[256];
    if (!velora::bench::SignInToNativeTenant(state, *g_standIn, u"benchconnect", buffer)) return;
    // The first connect downloads the filter list; the measured ones find it current.
    if (velora::ApiConnect(buffer, 256) != 0) {
        state.SkipWithError("warm-up connect failed");
        return;
    }
    velora::ApiDisconnect(buffer, 256);
    EndEngine();
    const velora::bench::StandInStats before = Stats(control);
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const uint32_t result = velora::ApiConnect(buffer, 256);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        velora::ApiDisconnect(buffer, 256);
        EndEngine();
        state.ResumeTiming();
        if (result != 0) {
            state.SkipWithError("connect failed");
            return;
        }
    }
    const velora::bench::StandInStats after = Stats(control);
    velora::bench::SetStandInCounters(state, times, before, after, "requests_per_connect",
                                      kEngineDelayMs * 1000);
    state.counters["engine_delay_us"] = kEngineDelayMs * 1000;
}

BENCHMARK(BM_ConnectNative)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return velora::bench::RunNativeConnectBenchmarks(argc, argv, "bench_connect", kEngineDelayMs, g_standIn);
}
