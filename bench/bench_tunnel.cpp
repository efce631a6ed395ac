// One VCPE bring-up against the cloud stand-in on loopback with the simulated dial-up (connecting at once)
// and the in-process helper service's simulated routing table: check URL live at the first poll, entry,
// key, dial, two tunnel routes. Reports the median time per bring-up, the stand-in's own handling time
// and their difference; the simulated service adds no delay of its own and the polling pause is not taken.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/HttpClient.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/EngineWorkers.h"
#include "engine/TunnelBringUp.h"
#include "inprocess/SimHelperService.h"
#include "platform/Kernel.h"
#include "platform/Text.h"
#include "platform/host/SimDialUp.h"

#include "BenchStandIn.h"
#include "StandInStats.h"

namespace {

namespace fs = std::filesystem;

velora::bench::CStandIn* g_standIn = nullptr;

void NoPause(uint32_t) {}

std::string Post(const std::u16string& url, const std::u16string& body, const std::u16string& token = {}) {
    velora::CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.PostText(url, body, answer, status, 1, token.empty() ? u"" : u"X-KX-AUTH-HEADER:" + token);
    return answer;
}

void BM_VcpeBringUp(benchmark::State& state) {
    const std::u16string control = g_standIn->Url("http");
    Post(control + u"/_sim/tenant?name=bench",
         u"{\"orch\":{\"tokens\":[\"tok\"],\"connect\":{\"mode\":\"VCPE\"},\"gateway\":{\"liveAfter\":0}}}");
    const std::u16string answer =
        platform::Utf8ToUtf16(Post(control + u"/t/bench/api/mobile/v2/connect", u"{\"sn\":\"SN\"}", u"tok"));
    corvane::CSimulatedNetwork& network = corvane::inprocess::SimulatedNetwork();
    network.Clear();
    network.SetAdapters({{u"Ethernet", 5, {}}, {u"Hal-Vane", 30, {}}});
    velora::EngineState& engine = velora::GetEngineState();
    engine.ipSetMode = 1;
    engine.whiteIpSet = u"10.10.0.0/16,172.16.0.0/12";
    engine.blackIpSet.clear();
    const velora::bench::StandInStats before =
        velora::bench::ReadStandInStats(control, u"/t/bench/orch/check");
    std::vector<double> times;
    for (auto _ : state) {
        velora::ConnectContext context;
        const auto start = std::chrono::steady_clock::now();
        velora::StartVcpeTunnel(answer, context);
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
    std::sort(times.begin(), times.end());
    const double runs = static_cast<double>(times.size());
    const double median = times[times.size() / 2];
    const double standIn = (after.handlingMicros - before.handlingMicros) / runs;
    state.counters["checks_per_bringup"] = (after.count - before.count) / runs;
    state.counters["median_us"] = median;
    state.counters["standin_us"] = standIn;
    state.counters["client_us"] = median - standIn;
}

BENCHMARK(BM_VcpeBringUp)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Settings, log and phonebook of this run stay in a folder of its own, never in the user's profile.
    char folder[] = "/tmp/velora-bench-tunnel-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder;
    fs::create_directories(dir + "/config");
    fs::create_directories(dir + "/data");
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    int rc = 0;
    {
        velora::bench::CStandIn standIn;
        if (!standIn.Start(dir)) {
            std::fprintf(stderr, "bench_tunnel: the cloud stand-in did not start\n");
            rc = 1;
        } else {
            g_standIn = &standIn;
            velora::StartLog(nullptr);
            velora::CreateEngineEvents();
            platform::SetPauseFunction(&NoPause);
            corvane::inprocess::SetHelperServiceFolder(fs::path(dir) / "Corvane");
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
            platform::host::ResetSimDialUp();
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return rc;
}
