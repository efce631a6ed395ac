// What the host benchmarks against the cloud stand-in share: the program's run in a folder of its own with
// the stand-in started there, a tenant the client's discovery points at, the stand-in's control requests,
// and the counters that tell the client's share of a measured exchange from the stand-in's.
#pragma once
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/HttpClient.h"
#include "core/Settings.h"

#include "BenchStandIn.h"
#include "StandInStats.h"

namespace velora::bench {

// How a program's run is laid out around the benchmarks.
struct StandInRunSteps {
    const char* program;  // "bench_x": names the run's folder and the message when the stand-in fails
    // The in-process Corvane's folder is made as well, with the engine stand-in's scenario in it.
    bool serviceFolder = false;
    std::string engineScenario;
    // Once the stand-in is up, before and after the benchmarks; `dir` is the run's folder.
    std::function<void(const std::string& dir)> setUp;
    std::function<void()> tearDown;
};

// Settings and log of the run stay in a temporary folder of its own (never in the user's profile), removed
// at the end. `standIn` points at the running stand-in while the benchmarks run. Returns main's exit code.
inline int RunBenchmarksWithStandIn(int argc, char** argv, const StandInRunSteps& steps, CStandIn*& standIn) {
    namespace fs = std::filesystem;
    std::string folder = "/tmp/velora-" + std::string(steps.program) + "-XXXXXX";
    for (char& c : folder)
        if (c == '_') c = '-';
    if (!mkdtemp(folder.data())) return 1;
    const std::string dir = folder;
    fs::create_directories(dir + "/config");
    fs::create_directories(dir + "/data");
    if (steps.serviceFolder) fs::create_directories(dir + "/Corvane");
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    if (steps.serviceFolder) std::ofstream(dir + "/Corvane/ferronwin.scenario") << steps.engineScenario;
    int rc = 0;
    {
        CStandIn running;
        if (!running.Start(dir)) {
            std::fprintf(stderr, "%s: the cloud stand-in did not start\n", steps.program);
            rc = 1;
        } else {
            standIn = &running;
            if (steps.setUp) steps.setUp(dir);
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
            if (steps.tearDown) steps.tearDown();
            standIn = nullptr;
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return rc;
}

// A request to the stand-in outside the measurement (its control operations, a connect for its answer);
// `token` goes in the orchestrator's authentication header.
inline std::string PostToStandIn(const std::u16string& url, const std::u16string& body,
                                 const std::u16string& token = {}) {
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.PostText(url, body, answer, status, 1, token.empty() ? u"" : u"X-KX-AUTH-HEADER:" + token);
    return answer;
}

// Makes tenant `name` from `data` and points the client's discovery at it over HTTPS, with the privacy
// statement already agreed to.
inline void UseTenant(const CStandIn& standIn, const std::u16string& name, const std::u16string& data) {
    PostToStandIn(standIn.Url("http") + u"/_sim/tenant?name=" + name, data);
    const std::u16string base = standIn.Url("https") + u"/t/" + name;
    SetSettingText(u"DiscoveryUrl", base + u"/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", base + u"/backup/api/mobile/v1/orchinfo");
    SetSetting(u"PrivacyVersion", u"1");
}

// From the times of the measured runs (in µs) and the stand-in's record before and after them: requests
// per run (as `requestsCounter`), the median time, the stand-in's handling time per run, and what is left
// after both and `otherUs` (a known delay outside the client): what the client adds.
inline void SetStandInCounters(benchmark::State& state, std::vector<double>& times,
                               const StandInStats& before, const StandInStats& after,
                               const char* requestsCounter, double otherUs = 0) {
    std::sort(times.begin(), times.end());
    const double runs = static_cast<double>(times.size());
    const double median = times[times.size() / 2];
    const double standIn = (after.handlingMicros - before.handlingMicros) / runs;
    state.counters[requestsCounter] = (after.count - before.count) / runs;
    state.counters["median_us"] = median;
    state.counters["standin_us"] = standIn;
    state.counters["client_us"] = median - standIn - otherUs;
}

}  // namespace velora::bench
