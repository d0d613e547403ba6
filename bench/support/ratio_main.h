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
        // Repeated runs keep the fastest: the floor and the subject meet the
        // same machine noise, and the minimum is the least disturbed.
        double time = run.GetAdjustedRealTime();
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
  std::printf("\n%-44s %-36s %8s\n", "subject", "floor", "ratio");
  for (const Ratio& ratio : ratios) {
    auto subject = reporter.seconds.find(ratio.subject);
    auto floor = reporter.seconds.find(ratio.floor);
    if (subject == reporter.seconds.end() || floor == reporter.seconds.end()) continue;
    std::printf("%-44s %-36s %7.2fx\n", ratio.subject.c_str(), ratio.floor.c_str(),
                subject->second / floor->second);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace brisklane::bench
