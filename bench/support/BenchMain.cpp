// The main of every benchmark without its own: runs them like Google
// Benchmark's main, and ends non-zero when one of them reported an error, so
// that `make bench` fails instead of printing a figure of a broken run.
#include <benchmark/benchmark.h>

namespace {

class FailureNoticingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) failed_ = failed_ || run.error_occurred;
        ConsoleReporter::ReportRuns(runs);
    }
    bool Failed() const { return failed_; }

  private:
    bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FailureNoticingReporter reporter;
    const size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.Failed() || ran == 0 ? 1 : 0;
}
