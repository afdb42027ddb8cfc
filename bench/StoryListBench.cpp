// How long the story list's readers take over a hostile line of 16 MB (a
// quote run without a tag end, which the attribute pattern retried from
// every quote, minutes for such a line), read as the main window reads the
// stored list at each start, and the package check of such a body.
#include <benchmark/benchmark.h>

#include <string>

#include "core/TextHelpers.h"
#include "net/StoryLog.h"

namespace {

constexpr size_t kLineBytes = 16u << 20;

std::string HostileLine() {
    return "<StoryName=\"" + std::string(kLineBytes, '"') + "<>";
}

void BM_TagAttributeOfAHostileLine(benchmark::State& state) {
    const std::string line = HostileLine();
    for (auto _ : state) {
        const AnsiString value = TagAttribute(line, "StoryName");
        if (!value.empty()) state.SkipWithError("read a value where there is none");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_TagAttributeOfAHostileLine)->Unit(benchmark::kMillisecond);

void BM_HotStoriesWithAHostileLine(benchmark::State& state) {
    const std::string list =
        "[Story]\r\n1=" + HostileLine() + "\r\n2=<a StoryName=\"ok\" SearchWords=\"w\">\r\n";
    for (auto _ : state) {
        const auto stories = TStoryLog::ReadHotStories(list);
        if (stories.size() != 1) state.SkipWithError("the long line was read");
        benchmark::DoNotOptimize(stories);
    }
}
BENCHMARK(BM_HotStoriesWithAHostileLine)->Unit(benchmark::kMillisecond);

void BM_PackageCheckOfAHostileBody(benchmark::State& state) {
    std::string body = "<x ";
    while (body.size() < kLineBytes) body += "ID=\"a\" ";
    for (auto _ : state) {
        const bool valid = TStoryLog::IsValidPackage(body);
        if (valid) state.SkipWithError("a body without the marker passed");
        benchmark::DoNotOptimize(valid);
    }
}
BENCHMARK(BM_PackageCheckOfAHostileBody)->Unit(benchmark::kMillisecond);

}  // namespace
