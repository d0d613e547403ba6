// The difference between two layout reports (layout_report.h), in words:
// "row 2: the text 'Renew passport' is cut at 112 pt (was whole)",
// "header: colour calm → urgent", "overflow line moved 4 pt down",
// "tap target lost (brisklane://today)".
//
// Items are matched by region and by their order in it; a region is named as
// the report names it, "widget" when the item lies in none. Moves under half
// a point are not told: they are below what a picture at 3x can show.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace brisklane {

struct ReportedFrame {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  friend bool operator==(const ReportedFrame&, const ReportedFrame&) = default;
};

struct ReportedText {
  std::string region;  // empty outside every region
  std::string text;
  ReportedFrame frame;
  double fontSize = 0;
  std::string fontWeight;
  std::string color;
  std::optional<int> lineLimit;
  bool cut = false;
};

struct ReportedSymbol {
  std::string region;
  std::string symbol;
  ReportedFrame frame;
  std::string color;
};

struct ReportedFill {
  std::string region;
  ReportedFrame frame;
  std::string color;
};

struct ReportedTapTarget {
  ReportedFrame frame;
  std::string url;
};

struct ReportedLayout {
  std::string kind;
  std::string family;
  std::string deviceClass;
  double width = 0;
  double height = 0;
  std::vector<ReportedText> texts;
  std::vector<ReportedSymbol> symbols;
  std::vector<ReportedFill> fills;
  std::vector<ReportedTapTarget> tapTargets;
};

// The report in `json`, or what is wrong with it ("texts[2].frame.x is not a
// number").
[[nodiscard]] Result<ReportedLayout> decodeLayoutReport(std::string_view json);

// What changed from `before` to `now`, one line a change, each line once, in
// the order of the widget's reading; empty when nothing a person would see
// changed.
[[nodiscard]] std::vector<std::string> semanticDifferences(const ReportedLayout& before,
                                                           const ReportedLayout& now);

}  // namespace brisklane
