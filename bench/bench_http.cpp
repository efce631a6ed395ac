// PostText against the cloud stand-in on loopback: 1,000 sequential exchanges, one CHttpClient each as
// the callers use it, over HTTP and HTTPS. Reports the median per exchange, the stand-in's own mean
// handling time (from its record), and their difference: what the client and the transport add.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "platform/Http.h"
#include "platform/Text.h"

#include "BenchStandIn.h"
#include "StandInStats.h"

namespace {

namespace fs = std::filesystem;

using velora::bench::CStandIn;

CStandIn* g_standIn = nullptr;

void Control(const std::u16string& url, const std::u16string& body) {
    velora::CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.PostText(url, body, answer, status, 1);
}

void PostSequential(benchmark::State& state, const std::string& listener) {
    const std::u16string base = g_standIn->Url(listener);
    const std::u16string control = g_standIn->Url("http");
    const std::u16string path = platform::Utf8ToUtf16("/bench/" + listener);
    Control(control + u"/_sim/reset?prefix=" + path, u"");
    Control(
        control + u"/_sim/answers",
        u"{\"path\":\"" + path + u"\",\"status\":200,\"body\":{\"resultCode\":0,\"heartbeatInterval\":30}}");
    const std::u16string body =
        u"{\"customerId\":\"c-1\",\"userName\":\"alice\",\"sn\":\"SN-0001\",\"type\":\"windows\"}";
    std::vector<double> micros;
    micros.reserve(1000);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        velora::CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        const uint32_t error =
            client.PostText(base + path, body, answer, status, 1, u"sn:SN-0001", u"type:windows", u"");
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (error != 0 || status != 200) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];

    const velora::bench::StandInStats stats = velora::bench::ReadStandInStats(control, path);
    const double serverMean = stats.count > 0 ? stats.handlingMicros / stats.count : 0;
    state.counters["median_us"] = median;
    state.counters["p90_us"] = micros[micros.size() * 9 / 10];
    state.counters["standin_us"] = serverMean;
    state.counters["client_overhead_us"] = median - serverMean;
}

void BM_PostTextHttp(benchmark::State& state) {
    PostSequential(state, "http");
}
void BM_PostTextHttps(benchmark::State& state) {
    PostSequential(state, "https");
}

BENCHMARK(BM_PostTextHttp)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostTextHttps)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    CStandIn standIn;
    if (!standIn.Start()) {
        std::fprintf(stderr, "bench_http: the cloud stand-in did not start\n");
        return 1;
    }
    g_standIn = &standIn;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
