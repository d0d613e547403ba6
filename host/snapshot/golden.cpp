#include "host/snapshot/golden.h"

#include <utility>

#include "base/html_text.h"
#include "host/snapshot/semantic_diff.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

GoldenComparison unreadable(std::string name, std::string line) {
  return GoldenComparison{.name = std::move(name),
                          .verdict = GoldenVerdict::unreadable,
                          .lines = {std::move(line)},
                          .differingPixels = 0,
                          .antiAliasedPixels = 0,
                          .diffPicture = std::nullopt};
}

// Compares the pixels into `comparison`; false when a picture cannot be read.
bool comparePictures(const Snapshot& golden, const Snapshot& now, const GoldenOptions& options,
                     GoldenComparison& comparison) {
  if (golden.picture == now.picture) return true;  // the same bytes: the same pixels
  const std::optional<RgbaImage> before = decodePng(golden.picture);
  const std::optional<RgbaImage> after = decodePng(now.picture);
  if (!before || !after) {
    comparison =
        unreadable(std::move(comparison.name),
                   std::string(!before ? "the golden" : "the new") + " picture is not a PNG");
    return false;
  }
  // Pictures of two sizes differ in their layouts, which say how.
  if (before->width != after->width || before->height != after->height) return true;
  PixelComparison pixels =
      comparePixels(*before, *after, {.threshold = options.threshold, .countAntiAliased = false});
  comparison.differingPixels = pixels.differing;
  comparison.antiAliasedPixels = pixels.antiAliased;
  if (pixels.differing + pixels.antiAliased > 0) comparison.diffPicture = encodePng(pixels.picture);
  return true;
}

std::string pixelSummary(const GoldenComparison& comparison) {
  return std::to_string(comparison.differingPixels) + " pixels differ, " +
         std::to_string(comparison.antiAliasedPixels) + " more by anti-aliasing";
}

std::string verdictHeading(const GoldenComparison& comparison) {
  switch (comparison.verdict) {
    case GoldenVerdict::same:
      return "same";
    case GoldenVerdict::noise:
      return "rendering noise only: " + pixelSummary(comparison);
    case GoldenVerdict::differs:
      return "differs: " + pixelSummary(comparison);
    case GoldenVerdict::noGolden:
      return "no golden";
    case GoldenVerdict::unreadable:
      return "cannot compare";
  }
  return {};
}

constexpr std::string_view reportHead = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Widget goldens</title>
<style>
body { font-family: Inter, system-ui, sans-serif; margin: 2rem; color: #1d232b; background: #f4f2ee; }
section { margin-bottom: 2.5rem; }
h2 { font-size: 1.1rem; margin-bottom: 0.3rem; }
.verdict { font-weight: 600; }
.fails .verdict { color: #b3261e; }
.passes .verdict { color: #2e6b3a; }
.pictures { display: flex; flex-wrap: wrap; gap: 1.5rem; align-items: flex-start; }
figure { margin: 0; }
figcaption { font-size: 0.8rem; color: #5b6470; margin-top: 0.3rem; }
img { display: block; width: 20rem; background: #c9d6e3; }
</style></head><body>
)";

// Whether the pixels were compared and some differ: the report then holds
// the difference's picture.
bool hasDiffPicture(const GoldenComparison& comparison) {
  return comparison.differingPixels + comparison.antiAliasedPixels > 0;
}

std::string figure(const std::string& file, std::string_view caption) {
  return R"(<figure><img src=")" + escapedHtml(file) + R"(" alt=")" + escapedHtml(caption) +
         R"("><figcaption>)" + escapedHtml(caption) + "</figcaption></figure>";
}

std::string sectionHtml(const GoldenComparison& comparison, const GoldenOptions& options) {
  const bool fails = failsCheck(comparison, options);
  std::string html = std::string("<section class=\"") + (fails ? "fails" : "passes") + "\"><h2>" +
                     escapedHtml(comparison.name) + "</h2>\n<p class=\"verdict\">" +
                     escapedHtml(verdictHeading(comparison)) + "</p>\n";
  if (!comparison.lines.empty()) {
    html += "<ul>\n";
    for (const std::string& line : comparison.lines) html += "<li>" + escapedHtml(line) + "</li>\n";
    html += "</ul>\n";
  }
  if (comparison.verdict == GoldenVerdict::differs || comparison.verdict == GoldenVerdict::noise) {
    html += "<div class=\"pictures\">" + figure(comparison.name + ".golden.png", "golden") +
            figure(comparison.name + ".now.png", "now");
    if (hasDiffPicture(comparison)) html += figure(comparison.name + ".diff.png", "difference");
    html += "</div>\n";
  }
  return html + "</section>\n";
}

}  // namespace

std::string_view name(GoldenVerdict verdict) {
  switch (verdict) {
    case GoldenVerdict::same:
      return "same";
    case GoldenVerdict::noise:
      return "noise";
    case GoldenVerdict::differs:
      return "differs";
    case GoldenVerdict::noGolden:
      return "noGolden";
    case GoldenVerdict::unreadable:
      return "unreadable";
  }
  return "unknown";
}

GoldenComparison compareWithGolden(std::string name, const std::optional<Snapshot>& golden,
                                   const Snapshot& now, const GoldenOptions& options) {
  if (!golden) {
    return GoldenComparison{.name = std::move(name),
                            .verdict = GoldenVerdict::noGolden,
                            .lines = {"there is no golden to compare with (--update writes it)"},
                            .differingPixels = 0,
                            .antiAliasedPixels = 0,
                            .diffPicture = std::nullopt};
  }
  const Result<ReportedLayout> before = decodeLayoutReport(golden->layout);
  if (!before)
    return unreadable(std::move(name), "the golden layout cannot be read: " + before.reason());
  const Result<ReportedLayout> after = decodeLayoutReport(now.layout);
  if (!after)
    return unreadable(std::move(name), "the new layout cannot be read: " + after.reason());
  GoldenComparison comparison{.name = std::move(name),
                              .verdict = GoldenVerdict::same,
                              .lines = semanticDifferences(*before, *after),
                              .differingPixels = 0,
                              .antiAliasedPixels = 0,
                              .diffPicture = std::nullopt};
  if (!comparePictures(*golden, now, options, comparison)) return comparison;
  if (!comparison.lines.empty()) {
    comparison.verdict = GoldenVerdict::differs;
  } else if (comparison.differingPixels + comparison.antiAliasedPixels > 0) {
    comparison.verdict = GoldenVerdict::noise;
  }
  return comparison;
}

bool failsCheck(const GoldenComparison& comparison, const GoldenOptions& options) {
  switch (comparison.verdict) {
    case GoldenVerdict::same:
      return false;
    case GoldenVerdict::noise:
      return options.strictPixels && comparison.differingPixels > 0;
    case GoldenVerdict::differs:
    case GoldenVerdict::noGolden:
    case GoldenVerdict::unreadable:
      return true;
  }
  return true;
}

Json goldenReportJson(const std::vector<GoldenComparison>& comparisons,
                      const GoldenOptions& options) {
  Json entries = Json::array();
  std::size_t failing = 0;
  for (const GoldenComparison& comparison : comparisons) {
    const bool fails = failsCheck(comparison, options);
    failing += fails ? 1 : 0;
    Json entry{{"name", comparison.name},
               {"verdict", name(comparison.verdict)},
               {"fails", fails},
               {"lines", comparison.lines},
               {"differingPixels", comparison.differingPixels},
               {"antiAliasedPixels", comparison.antiAliasedPixels}};
    if (comparison.verdict == GoldenVerdict::differs ||
        comparison.verdict == GoldenVerdict::noise) {
      entry["golden"] = comparison.name + ".golden.png";
      entry["now"] = comparison.name + ".now.png";
      entry["diff"] =
          hasDiffPicture(comparison) ? Json(comparison.name + ".diff.png") : Json(nullptr);
    }
    entries.push_back(std::move(entry));
  }
  return Json{{"checked", comparisons.size()},
              {"failing", failing},
              {"threshold", options.threshold},
              {"strictPixels", options.strictPixels},
              {"snapshots", std::move(entries)}};
}

std::string goldenReportHtml(const std::vector<GoldenComparison>& comparisons,
                             const GoldenOptions& options) {
  std::size_t failing = 0;
  for (const GoldenComparison& comparison : comparisons)
    failing += failsCheck(comparison, options) ? 1 : 0;
  std::string html(reportHead);
  html += "<h1>Widget goldens: " + std::to_string(failing) + " of " +
          std::to_string(comparisons.size()) + " differ</h1>\n";
  // The failures first: they are what the reader came for.
  for (const bool failures : {true, false}) {
    for (const GoldenComparison& comparison : comparisons) {
      if (failsCheck(comparison, options) == failures) html += sectionHtml(comparison, options);
    }
  }
  return html + "</body></html>\n";
}

}  // namespace brisklane
