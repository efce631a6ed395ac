// Field readers on a large answer whose key sits at its end: the cost of the linear scan.
#include <benchmark/benchmark.h>

#include <string>

#include "core/JsonFields.h"

namespace {

// About 1 MiB of UTF-16 answer: a list of objects with keys and values that never contain the keys
// read below, then the fields read at the very end.
const std::u16string& LargeAnswer() {
    static const std::u16string answer = [] {
        constexpr std::size_t kBytes = 1 << 20;
        std::u16string text = u"{\"items\":[";
        for (int i = 0; text.size() * sizeof(char16_t) < kBytes - 128; ++i) {
            const std::u16string n =
                std::u16string(u"0123456789").substr(static_cast<std::size_t>(i % 10), 1);
            text += u"{\"id\":" + n + u",\"name\":\"item " + n +
                    u"\",\"state\":\"ready\",\"tags\":[\"a\",\"b\"]},";
        }
        text += u"{}],\"code\":200,\"message\":\"done\"}";
        return text;
    }();
    return answer;
}

void BM_GetStringField(benchmark::State& state) {
    const std::u16string& answer = LargeAnswer();
    for (auto _ : state) {
        std::u16string value = velora::GetStringField(answer, u"message", u"");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(answer.size() * sizeof(char16_t)));
}
BENCHMARK(BM_GetStringField);

void BM_GetIntField(benchmark::State& state) {
    const std::u16string& answer = LargeAnswer();
    for (auto _ : state) {
        int32_t value = velora::GetIntField(answer, u"code", -1);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(answer.size() * sizeof(char16_t)));
}
BENCHMARK(BM_GetIntField);

}  // namespace

BENCHMARK_MAIN();
