// Connect in NATIVE mode through the exported API after a signed-in ValidateUser, with the filter list
// already cached, against the cloud stand-in on loopback (HTTPS) and the host's engine stand-in (started
// by the in-process Corvane, announcing at once): requests per connect (from the stand-in's record), the
// median time to connected, the stand-in's own handling time and the engine's own delay, and what is
// left: what the client adds.
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
#include "engine/EnginePipe.h"
#include "helper/HelperClient.h"
#include "inprocess/SimHelperService.h"
#include "platform/Text.h"

#include "BenchStandIn.h"
#include "StandInStats.h"

namespace {

namespace fs = std::filesystem;

using velora::bench::CStandIn;

CStandIn* g_standIn = nullptr;
std::string g_dir;
constexpr double kEngineDelayMs = 0;  // the engine stand-in's connectDelayMs

void Post(const std::u16string& url, const std::u16string& body) {
    velora::CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.PostText(url, body, answer, status, 1);
}

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
    Post(control + u"/_sim/tenant?name=benchconnect",
         u"{\"customers\":[\"12\"],\"privacyVersion\":\"1\",\"errorCatalogue\":{\"version\":\"1\","
         u"\"entries\":[]},"
         u"\"accounts\":[{\"customerId\":\"12\",\"name\":\"alice\",\"password\":\"secret1\"}],"
         u"\"orch\":{\"connect\":{\"mode\":\"NATIVE\"},\"filter\":{\"siteTemplateId\":\"b\",\"version\":1,"
         u"\"ipSetMode\":0,\"whiteIpSet\":[\"10.0.0.0/8\"]}}}");
    const std::u16string base = g_standIn->Url("https") + u"/t/benchconnect";
    velora::SetSettingText(u"DiscoveryUrl", base + u"/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DiscoveryBackupUrl", base + u"/backup/api/mobile/v1/orchinfo");
    velora::SetSetting(u"PrivacyVersion", u"1");
    char16_t buffer[256];
    if (velora::ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256) != 0) {
        state.SkipWithError("sign-in failed");
        return;
    }
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
    std::sort(times.begin(), times.end());
    const double runs = static_cast<double>(times.size());
    const double median = times[times.size() / 2];
    const double standIn = (after.handlingMicros - before.handlingMicros) / runs;
    state.counters["requests_per_connect"] = (after.count - before.count) / runs;
    state.counters["median_us"] = median;
    state.counters["standin_us"] = standIn;
    state.counters["engine_delay_us"] = kEngineDelayMs * 1000;
    state.counters["client_us"] = median - standIn - kEngineDelayMs * 1000;
}

BENCHMARK(BM_ConnectNative)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Settings, log and the service's folder of this run stay in a folder of its own.
    char folder[] = "/tmp/velora-bench-connect-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    g_dir = folder;
    fs::create_directories(g_dir + "/config");
    fs::create_directories(g_dir + "/data");
    fs::create_directories(g_dir + "/Corvane");
    setenv("XDG_CONFIG_HOME", (g_dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (g_dir + "/data").c_str(), 1);
    std::ofstream(g_dir + "/Corvane/ferronwin.scenario") << "connectDelayMs=" << kEngineDelayMs << "\n";
    int rc = 0;
    {
        CStandIn standIn;
        if (!standIn.Start(g_dir)) {
            std::fprintf(stderr, "bench_connect: the cloud stand-in did not start\n");
            rc = 1;
        } else {
            g_standIn = &standIn;
            corvane::inprocess::SetHelperServiceFolder(fs::path(g_dir) / "Corvane");
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
    fs::remove_all(g_dir, ignored);
    return rc;
}
