// Start-up trimming of the client log: files of 5 MB and 50 MB whose lines are all older than 60 days
// (rewritten to the header alone), one that keeps its newer half, one left untouched, and StartLog
// itself on a 50 MB file in a private data folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "core/Log.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

std::string g_folder;  // private scratch folder, also the data folder StartLog uses

std::u16string Path(const std::string& name) {
    return platform::Utf8ToUtf16(g_folder + "/" + name);
}

void AppendUnits(std::string& out, const std::string& ascii) {
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
}

// A log image of about `size` bytes. Lines run from `oldestDays` to `newestDays` days ago, about as
// long as real ones, a few hundred lines per day.
std::string MakeLog(std::size_t size, int oldestDays, int newestDays) {
    std::string bytes("\xFF\xFE\x00\x00\x0A\x00", 6);
    bytes.reserve(size + 512);
    const std::size_t lines = size / 180;
    const std::time_t now = std::time(nullptr);
    std::size_t i = 0;
    while (bytes.size() < size) {
        const double along = static_cast<double>(i) / static_cast<double>(lines);
        const int days = oldestDays - static_cast<int>(along * (oldestDays - newestDays));
        const std::time_t when = now - static_cast<std::time_t>(days) * 86400;
        std::tm local{};
        localtime_r(&when, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        AppendUnits(bytes, std::string(stamp) + (i % 3 ? " [DEBUG] " : " [INFO] ") +
                               "Heartbeat answered 200 in 35 ms; rx 1048576 tx 524288, line " +
                               std::to_string(i) + "\n");
        ++i;
    }
    return bytes;
}

void Install(const std::u16string& path, const std::string& bytes) {
    platform::DeleteOneFile(path);
    platform::AppendToFile(path, bytes.data(), bytes.size());
}

void Trim(benchmark::State& state, int oldestDays, int newestDays, bool expectChanged) {
    const std::string image = MakeLog(static_cast<std::size_t>(state.range(0)) << 20, oldestDays, newestDays);
    const std::u16string path = Path("bench.log");
    for (auto _ : state) {
        state.PauseTiming();
        Install(path, image);
        state.ResumeTiming();
        const bool changed = velora::TrimLogFile(path);
        if (changed != expectChanged) state.SkipWithError("trimming did not do what the file calls for");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
    platform::DeleteOneFile(path);
}

void BM_TrimAllOld(benchmark::State& state) {
    Trim(state, 400, 61, true);
}
void BM_TrimKeepsNewerHalf(benchmark::State& state) {
    Trim(state, 119, 1, true);
}
void BM_TrimNothingOld(benchmark::State& state) {
    Trim(state, 59, 0, false);
}

BENCHMARK(BM_TrimAllOld)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrimKeepsNewerHalf)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrimNothingOld)->Arg(50)->Unit(benchmark::kMillisecond);

// StartLog runs once per process: one iteration, on the real start-up path.
void BM_StartLogAllOld(benchmark::State& state) {
    const std::u16string folder = Path("Halvane");
    platform::CreateOneDirectory(folder);
    const std::u16string path = folder + u"/clientUI.log";
    Install(path, MakeLog(50u << 20, 400, 61));
    for (auto _ : state) velora::StartLog(nullptr);
    std::string bytes;
    platform::ReadWholeFile(path, bytes);
    if (bytes.size() != 6) state.SkipWithError("the log was not trimmed to its header");
}
BENCHMARK(BM_StartLogAllOld)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::string folder = std::filesystem::temp_directory_path().string() + "/velora-bench-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;
    g_folder = folder;
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
