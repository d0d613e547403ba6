// A widget's picture and layout report compared with its golden ones: first
// what changed in words (semantic_diff.h), then pixel by pixel
// (pixel_diff.h). Pixels that differ while nothing a person reads changed are
// rendering noise (fonts, anti-aliasing, a machine's rasteriser), which fails
// only when the pixels are held strictly.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/snapshot/pixel_diff.h"

namespace brisklane {

// One drawn widget: PNG bytes and its layout report as JSON text.
struct Snapshot {
  std::string picture;
  std::string layout;
};

struct GoldenOptions {
  double threshold = PixelComparisonOptions{}.threshold;
  bool strictPixels = false;
};

enum class GoldenVerdict {
  same,       // nothing differs
  noise,      // only pixels differ, with no difference in words
  differs,    // the words say what
  noGolden,   // there is none to compare with
  unreadable  // the golden or the new snapshot cannot be read; the lines say why
};
[[nodiscard]] std::string_view name(GoldenVerdict verdict);

struct GoldenComparison {
  std::string name;
  GoldenVerdict verdict = GoldenVerdict::same;
  std::vector<std::string> lines;  // the differences in words, or why it could not compare
  std::size_t differingPixels = 0;
  std::size_t antiAliasedPixels = 0;
  std::optional<std::string> diffPicture;  // PNG, when pixels were compared and some differ
};

[[nodiscard]] GoldenComparison compareWithGolden(std::string name,
                                                 const std::optional<Snapshot>& golden,
                                                 const Snapshot& now,
                                                 const GoldenOptions& options = {});

// Whether the comparison fails a check.
[[nodiscard]] bool failsCheck(const GoldenComparison& comparison, const GoldenOptions& options);

// The report of a check, in the files a report folder holds beside it: for
// a comparison named N that differs, N.golden.png, N.now.png and, when any
// pixel differs, N.diff.png (whoever writes the report folder writes them).
[[nodiscard]] nlohmann::ordered_json goldenReportJson(
    const std::vector<GoldenComparison>& comparisons, const GoldenOptions& options);
[[nodiscard]] std::string goldenReportHtml(const std::vector<GoldenComparison>& comparisons,
                                           const GoldenOptions& options);

}  // namespace brisklane
