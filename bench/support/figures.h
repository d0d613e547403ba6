// Every benchmark program's figures beside their floors, gathered into one
// table: when `BRISKLANE_BENCH_FIGURES` names a file, each figure is appended
// to it as one tab-separated line (figure, milliseconds, floor, milliseconds),
// and scripts/run-benchmarks prints the lines of all programs at the end.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace brisklane::bench {

inline void recordFigure(const std::string& figure, double milliseconds, const std::string& floor,
                         double floorMilliseconds) {
  const char* file = std::getenv("BRISKLANE_BENCH_FIGURES");
  if (file == nullptr || *file == '\0') return;
  if (FILE* out = std::fopen(file, "a")) {
    std::fprintf(out, "%s\t%.4f\t%s\t%.4f\n", figure.c_str(), milliseconds, floor.c_str(),
                 floorMilliseconds);
    std::fclose(out);
  }
}

}  // namespace brisklane::bench
