// How fast a reading-history sync reads its answer: a history of 20,000 rows,
// and an answer of 100,000 keys (which took seconds while members were
// looked up one by one in an ordered tree of the whole answer).
#include <benchmark/benchmark.h>

#include <string>

#include "net/SynAnswer.h"

namespace {

std::string HistoryAnswer(int rows) {
    std::string text = R"({"flag":"0","data":[)";
    for (int i = 0; i < rows; ++i)
        text += std::string(i ? "," : "") + R"({"bookname":"\u5251\u5f71","bookid":")" +
                std::to_string(i) +
                R"(","siteid":"s1","lastchapterid":"17","addtime":"2024-05-01 10:00:00"})";
    return text + "]}";
}

std::string ManyKeys(int keys) {
    std::string text = R"({"flag":"0",)";
    for (int i = 0; i < keys; ++i) text += "\"k" + std::to_string(i) + "\":1,";
    return text + R"("data":[]})";
}

void BM_ReadHistoryAnswer(benchmark::State& state) {
    const std::string text = HistoryAnswer(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const TSynAnswer answer = TSynAnswer::Read(200, text);
        if (answer.rows.size() != static_cast<size_t>(state.range(0)))
            state.SkipWithError("rows missing");
        benchmark::DoNotOptimize(answer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadHistoryAnswer)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_ReadAnswerOfManyKeys(benchmark::State& state) {
    const std::string text = ManyKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const TSynAnswer answer = TSynAnswer::Read(200, text);
        if (answer.kind != TSynAnswer::Kind::Success) state.SkipWithError("not read");
        benchmark::DoNotOptimize(answer);
    }
}
BENCHMARK(BM_ReadAnswerOfManyKeys)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
