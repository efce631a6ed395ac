// ValidateUser's password sign-in against the cloud stand-in on loopback (HTTPS), with the error
// catalogue already cached: requests per sign-in (from the stand-in's record), the median time per
// sign-in, the stand-in's own handling time, and their difference: what the client and the transport add.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "api/ClientApi.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Settings.h"
#include "platform/Http.h"
#include "platform/Text.h"

#include "BenchStandIn.h"
#include "StandInStats.h"

namespace {

namespace fs = std::filesystem;

using velora::bench::CStandIn;

CStandIn* g_standIn = nullptr;

std::u16string Post(const std::u16string& url, const std::u16string& body) {
    velora::CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.PostText(url, body, answer, status, 1);
    return platform::Utf8ToUtf16(answer);
}

void Stats(const std::u16string& control, double& count, double& micros) {
    const velora::bench::StandInStats stats = velora::bench::ReadStandInStats(control, u"/t/bench");
    count = stats.count;
    micros = stats.handlingMicros;
}

void BM_ValidateUserPassword(benchmark::State& state) {
    const std::u16string control = g_standIn->Url("http");
    Post(control + u"/_sim/tenant?name=bench",
         u"{\"customers\":[\"12\"],\"privacyVersion\":\"1\",\"errorCatalogue\":{\"version\":\"1\","
         u"\"entries\":["
         u"{\"error_Code\":1007,\"en\":\"Wrong password\",\"cn\":\"x\"}]},"
         u"\"accounts\":[{\"customerId\":\"12\",\"name\":\"alice\",\"password\":\"secret1\"}]}");
    const std::u16string base = g_standIn->Url("https") + u"/t/bench";
    velora::SetSettingText(u"DiscoveryUrl", base + u"/api/mobile/v1/orchinfo");
    velora::SetSettingText(u"DiscoveryBackupUrl", base + u"/backup/api/mobile/v1/orchinfo");
    velora::SetSetting(u"PrivacyVersion", u"1");
    char16_t buffer[256];
    // The first sign-in of the process downloads the catalogue; the measured ones find it in memory.
    if (velora::ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256) != 0) {
        state.SkipWithError("warm-up sign-in failed");
        return;
    }
    double count0 = 0, micros0 = 0;
    Stats(control, count0, micros0);
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const uint32_t result = velora::ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256);
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (result != 0) {
            state.SkipWithError("sign-in failed");
            return;
        }
    }
    double count1 = 0, micros1 = 0;
    Stats(control, count1, micros1);
    std::sort(times.begin(), times.end());
    const double runs = static_cast<double>(times.size());
    const double median = times[times.size() / 2];
    const double standIn = (micros1 - micros0) / runs;
    state.counters["requests_per_signin"] = (count1 - count0) / runs;
    state.counters["median_us"] = median;
    state.counters["standin_us"] = standIn;
    state.counters["client_us"] = median - standIn;
}

BENCHMARK(BM_ValidateUserPassword)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Settings and log of this run stay in a folder of its own, never in the user's profile.
    char folder[] = "/tmp/velora-bench-signin-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder;
    fs::create_directories(dir + "/config");
    fs::create_directories(dir + "/data");
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    int rc = 0;
    {
        CStandIn standIn;
        if (!standIn.Start(dir)) {
            std::fprintf(stderr, "bench_signin: the cloud stand-in did not start\n");
            rc = 1;
        } else {
            g_standIn = &standIn;
            velora::ApiInit(nullptr, nullptr);
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return rc;
}
