// What the host benchmarks of the link monitors' passes share: the CPU time of the calling thread, a window
// that takes the monitor's messages and throws them away, the timed runs of a number of passes, and the
// program's mode for callgrind (VELORA_CALLGRIND_PASSES=N: N passes with the instrumentation on only
// around them, then the pass count printed).
#pragma once
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/Types.h"
#include "platform/host/SimWindows.h"

namespace velora::bench {

inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The monitor's window: takes the counters text as the main window does and throws the messages away.
inline platform::WindowHandle MonitorWindow() {
    static platform::WindowHandle window =
        platform::host::CreateSimWindow({}, [](uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; });
    return window;
}

// Times runs of `passes` passes each (`run` answers the monitor's exit code, 0 when it ended on the stop
// request) and reports the CPU time per pass.
inline void MeasurePasses(benchmark::State& state, uint32_t (*run)(int passes), int passes) {
    double cpu = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        const double before = ThreadCpuSeconds();
        if (run(passes) != 0) state.SkipWithError("the monitor did not end on the stop request");
        cpu += ThreadCpuSeconds() - before;
        ++runs;
    }
    state.counters["cpu_us_per_pass"] = runs ? cpu * 1e6 / static_cast<double>(runs * passes) : 0;
    state.SetItemsProcessed(runs * passes);
}

// main: under VELORA_CALLGRIND_PASSES, `prepare` and then `instrumented` with the pass count; else the
// registered benchmarks.
inline int RunMonitorBenchmarks(int argc, char** argv, void (*prepare)(), void (*instrumented)(int passes)) {
    if (const char* passes = std::getenv("VELORA_CALLGRIND_PASSES")) {
        const int n = std::max(1, std::atoi(passes));
        prepare();
        CALLGRIND_START_INSTRUMENTATION;
        instrumented(n);
        CALLGRIND_STOP_INSTRUMENTATION;
        std::printf("passes %d\n", n);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace velora::bench
