// RemoveRoute of 1,000 and 10,000 listed routes from a routing table of 20,000 rows (the simulated table
// the host build's Corvane uses): the list is split, checked and put in a set, and the table walked once,
// so the cost grows linearly with the list and the table. Only the call itself is timed.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "logic/FileServiceStore.h"
#include "logic/RouteHelperLogic.h"
#include "logic/SimulatedNetwork.h"

namespace {

constexpr int kTableRows = 20000;

// The n-th host route 10.a.b.c/32 as the table holds it (first part in the lowest byte) and as text.
uint32_t Address(int n) {
    return 10u | (static_cast<uint32_t>(n >> 16 & 0xFF) << 8) | (static_cast<uint32_t>(n >> 8 & 0xFF) << 16) |
           (static_cast<uint32_t>(n & 0xFF) << 24);
}
std::u16string Text(int n) {
    const std::string s = "10." + std::to_string(n >> 16 & 0xFF) + "." + std::to_string(n >> 8 & 0xFF) + "." +
                          std::to_string(n & 0xFF) + "/32";
    return std::u16string(s.begin(), s.end());
}

void BM_RemoveRoute(benchmark::State& state) {
    const int listed = static_cast<int>(state.range(0));
    const int step = kTableRows / listed;
    std::u16string list;
    for (int i = 0; i < listed; ++i) {
        if (i) list += u',';
        list += Text(i * step);
    }
    corvane::CFileServiceStore store(std::filesystem::temp_directory_path());
    for (auto _ : state) {
        state.PauseTiming();
        corvane::CSimulatedNetwork network;
        for (int n = 0; n < kTableRows; ++n) {
            corvane::RouteRow row;
            row.destination = Address(n);
            row.mask = 0xFFFFFFFFu;
            row.interfaceIndex = 2;
            network.AppendRow(row);
        }
        corvane::CRouteHelperLogic logic(network, store);
        state.ResumeTiming();
        const corvane::HResult hr = logic.RemoveRoute(list);
        state.PauseTiming();
        if (hr != 0 || network.Rows().size() != static_cast<std::size_t>(kTableRows - listed))
            state.SkipWithError("the listed routes were not all removed");
        state.ResumeTiming();
    }
    state.SetComplexityN(listed);
}
BENCHMARK(BM_RemoveRoute)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
