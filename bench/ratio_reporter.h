#ifndef QUORVANE_BENCH_RATIO_REPORTER_H_
#define QUORVANE_BENCH_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace quorvane_bench {

// The console table as usual, plus each benchmark's time per iteration (in
// nanoseconds) kept by name, so that main can print ratios measured in the
// same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.benchmark_name()] =
            run.GetAdjustedRealTime() *
            benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
            benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Nanoseconds per iteration, or 0 when the benchmark did not run.
  double Time(const std::string& name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? 0 : found->second;
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace quorvane_bench

#endif  // QUORVANE_BENCH_RATIO_REPORTER_H_
