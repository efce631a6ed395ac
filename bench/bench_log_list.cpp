// The log list's rows: appending N user-log lines (wrapped against a fixed-width measure), to show the cost
// per line stays flat as the list grows (Google Benchmark fits the complexity).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ui/skin/LogListModel.h"

namespace {

int Measure(std::u16string_view text) {
    return static_cast<int>(text.size()) * 7;
}

std::vector<std::u16string> MakeLines(int count) {
    std::vector<std::u16string> lines;
    lines.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        // As the log hands them over: in time order, a few hundred lines a day, texts that wrap.
        const int day = 1 + (i / 400) % 28;
        std::u16string date = u"2026-03-";
        date += static_cast<char16_t>(u'0' + day / 10);
        date += static_cast<char16_t>(u'0' + day % 10);
        lines.push_back(date +
                        u" 08:15:02 [INFO] Heartbeat answered by the orchestrator after a short wait, "
                        u"link quality good, next heartbeat in thirty seconds");
    }
    return lines;
}

void BM_AppendLogLines(benchmark::State& state) {
    const auto lines = MakeLines(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        velora::skin::CLogListModel model;
        for (const auto& line : lines) benchmark::DoNotOptimize(model.Append(line, 420, Measure));
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppendLogLines)
    ->RangeMultiplier(2)
    ->Range(1250, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
