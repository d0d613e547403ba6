// A main for benchmark programs that, after the usual report, prints each
// subject's time as a ratio of its floor measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brisklane::bench {

struct Ratio {
  std::string subject;
  std::string floor;
};

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        // Seconds per item where a benchmark counts items (one iteration may
        // do a batch), else per iteration. Repeated runs keep the fastest:
        // the floor and the subject meet the same machine noise, and the
        // minimum is the least disturbed.
        auto items = run.counters.find("items_per_second");
        double time =
            items != run.counters.end() && items->second.value > 0
                ? 1.0 / items->second.value
                : run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        auto [entry, inserted] = seconds.emplace(run.benchmark_name(), time);
        if (!inserted && time < entry->second) entry->second = time;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

inline int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-40s %12s   %-32s %12s %9s\n", "subject", "time", "floor", "time", "ratio");
  for (const Ratio& ratio : ratios) {
    auto subject = reporter.seconds.find(ratio.subject);
    auto floor = reporter.seconds.find(ratio.floor);
    if (subject == reporter.seconds.end() || floor == reporter.seconds.end()) continue;
    std::printf("%-40s %9.2f us   %-32s %9.2f us %8.2fx\n", ratio.subject.c_str(),
                subject->second * 1e6, ratio.floor.c_str(), floor->second * 1e6,
                subject->second / floor->second);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace brisklane::bench
