// A main for benchmark programs that, after the usual report, prints each
// subject's time as a ratio of its floor measured in the same run.
//
// A subject or a floor is a benchmark's name, for its time per item (or per
// iteration), or a benchmark's name, a space and one of its counters in
// microseconds (named "..._us", such as a percentile of per-call times).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/figures.h"

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
        keep(run.benchmark_name(), time);
        for (const auto& [name, counter] : run.counters) {
          if (name.ends_with("_us")) keep(run.benchmark_name() + " " + name, counter.value * 1e-6);
        }
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;

 private:
  void keep(const std::string& name, double time) {
    auto [entry, inserted] = seconds.emplace(name, time);
    if (!inserted && time < entry->second) entry->second = time;
  }
};

inline int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  int subjectWidth = 40, floorWidth = 32;
  for (const Ratio& ratio : ratios) {
    subjectWidth = std::max(subjectWidth, static_cast<int>(ratio.subject.size()));
    floorWidth = std::max(floorWidth, static_cast<int>(ratio.floor.size()));
  }
  std::printf("\n%-*s %12s   %-*s %12s %9s\n", subjectWidth, "subject", "time", floorWidth, "floor",
              "time", "ratio");
  for (const Ratio& ratio : ratios) {
    auto subject = reporter.seconds.find(ratio.subject);
    auto floor = reporter.seconds.find(ratio.floor);
    if (subject == reporter.seconds.end() || floor == reporter.seconds.end()) continue;
    std::printf("%-*s %9.2f us   %-*s %9.2f us %8.2fx\n", subjectWidth, ratio.subject.c_str(),
                subject->second * 1e6, floorWidth, ratio.floor.c_str(), floor->second * 1e6,
                subject->second / floor->second);
    recordFigure(ratio.subject, subject->second * 1e3, ratio.floor, floor->second * 1e3);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace brisklane::bench
