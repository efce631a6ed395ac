// ValidateUser's password sign-in against the cloud stand-in on loopback (HTTPS), with the error
// catalogue already cached: requests per sign-in (from the stand-in's record), the median time per
// sign-in, the stand-in's own handling time, and their difference: what the client and the transport add.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "api/ClientApi.h"

#include "StandInRun.h"
#include "StandInStats.h"

namespace {

using velora::bench::CStandIn;

CStandIn* g_standIn = nullptr;

void BM_ValidateUserPassword(benchmark::State& state) {
    const std::u16string control = g_standIn->Url("http");
    velora::bench::UseTenant(
        *g_standIn, u"bench",
        u"{\"customers\":[\"12\"],\"privacyVersion\":\"1\",\"errorCatalogue\":{\"version\":\"1\","
        u"\"entries\":["
        u"{\"error_Code\":1007,\"en\":\"Wrong password\",\"cn\":\"x\"}]},"
        u"\"accounts\":[{\"customerId\":\"12\",\"name\":\"alice\",\"password\":\"secret1\"}]}");
    char16_t buffer[256];
    // The first sign-in of the process downloads the catalogue; the measured ones find it in memory.
    if (velora::ApiValidateUser(u"12", u"alice", u"secret1", buffer, 256) != 0) {
        state.SkipWithError("warm-up sign-in failed");
        return;
    }
    const velora::bench::StandInStats before = velora::bench::ReadStandInStats(control, u"/t/bench");
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
    const velora::bench::StandInStats after = velora::bench::ReadStandInStats(control, u"/t/bench");
    velora::bench::SetStandInCounters(state, times, before, after, "requests_per_signin");
}

BENCHMARK(BM_ValidateUserPassword)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    velora::bench::StandInRunSteps steps;
    steps.program = "bench_signin";
    steps.setUp = [](const std::string&) { velora::ApiInit(nullptr, nullptr); };
    return velora::bench::RunBenchmarksWithStandIn(argc, argv, steps, g_standIn);
}
