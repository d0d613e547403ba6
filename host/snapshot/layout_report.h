// What a drawn widget shows, read from its layout rather than its pixels:
// every text with its frame, font, colour, line limit and whether it was
// cut; every symbol and colour fill; every tap target. Each item carries the
// region it lies in, the nearest `accessibilityIdentifier` above it ("row
// 2"), so that a difference can be told in the widget's own words.
//
// Frames are in points in the widget's coordinates, rounded to a hundredth;
// colours are named when they are the widgets' palette's ("urgent", "calm",
// "muted", "background", "white"), else written as "#rrggbbaa".
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "host/render/draw.h"

namespace brisklane {

// The report of `scene`:
//   {"kind", "family", "deviceClass", "size": {"width", "height"},
//    "texts": [{"region", "text", "frame", "font": {"size", "weight"},
//               "color", "lineLimit", "cut"}],
//    "symbols": [{"region", "symbol", "frame", "color"}],
//    "fills": [{"region", "frame", "color"}],
//    "tapTargets": [{"frame", "url"}]}
// in reading order (the tree's order). `region` is null outside every
// identified view.
[[nodiscard]] nlohmann::ordered_json layoutReport(std::string_view kind, const WidgetScene& scene);

}  // namespace brisklane
