// The diagnosis bundle with 20 MB and 200 MB of engine logs: time to copy the logs and build the ZIP, and
// the peak resident set size it adds (the writer streams, so the growth stays flat whatever the size).
// The logs are written at bench time into a private temporary folder, which is removed afterwards.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "diagnosis/Diagnosis.h"
#include "platform/Text.h"

namespace {

constexpr const char* kEngineLogs[] = {"kxconn.log",     "kxconn.log.1",   "kxconn.log.2", "cpeagent.log",
                                       "cpeagent.log.1", "cpeagent.log.2", "service.log"};

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Writes `bytes` of log-like lines, one 1 MB block at a time (never the whole file in memory).
void WriteLog(const std::filesystem::path& path, std::size_t bytes, unsigned seed) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::string block;
    unsigned line = seed;
    while (bytes > 0) {
        block.clear();
        while (block.size() < (1u << 20)) {
            line = line * 1103515245u + 12345u;
            block += "2026-12-10 10:" + std::to_string(line % 60) + ":" + std::to_string((line >> 8) % 60) +
                     " [INFO] tunnel 0 flow " + std::to_string(line % 100000) + " rx " +
                     std::to_string((line >> 4) % 1000000) + " tx " + std::to_string((line >> 12) % 1000000) + "\n";
        }
        const std::size_t n = std::min(bytes, block.size());
        std::fwrite(block.data(), 1, n, file);
        bytes -= n;
    }
    std::fclose(file);
}

void BM_DiagnosisZip(benchmark::State& state) {
    const std::size_t total = static_cast<std::size_t>(state.range(0)) << 20;
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("velora-bench-zip-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "program");
    std::filesystem::create_directories(root / "diagnosis");
    std::size_t left = total;
    unsigned seed = 1;
    for (const char* name : kEngineLogs) {
        const std::size_t size = std::min(left, total / std::size(kEngineLogs) + 1);
        WriteLog(root / "program" / name, size, seed++);
        left -= size;
    }
    velora::DiagnosisFolders folders;
    folders.program = platform::Utf8ToUtf16((root / "program").string() + "/");
    folders.diagnosis = platform::Utf8ToUtf16((root / "diagnosis").string());
    const double before = PeakRssMb();
    for (auto _ : state) velora::BuildDiagnosisZip(folders, false);
    const double after = PeakRssMb();
    std::error_code ignored;
    state.counters["zip_mb"] =
        static_cast<double>(std::filesystem::file_size(root / "diagnosis" / "windows_diagnosis.zip", ignored)) /
        (1 << 20);
    state.counters["peak_rss_mb"] = after;
    state.counters["rss_growth_mb"] = after - before;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(total));
    std::filesystem::remove_all(root, ignored);
}

BENCHMARK(BM_DiagnosisZip)->Arg(20)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiagnosisZip)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
