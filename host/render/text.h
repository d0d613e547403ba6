// Text measurement and drawing with Pango on Cairo. Inter stands in for the
// phone's system font; sizes are in points and every measurement is made
// without hinting, so a text measures the same whatever scale it is later
// drawn at (PNG at 3x, SVG at 1x).
//
// Font descriptions are built once for the whole process (safe under
// concurrent first use) and never change. Font maps and shaping contexts are
// Pango's per-thread defaults: Pango's font maps are not safe to share between
// threads, so each thread that measures gets one, created on its first use
// and reused for every text it measures after that.
#pragma once

#include <cairo.h>

#include <optional>
#include <string>

#include "host/render/geometry.h"

namespace brisklane {

// The Inter faces the system font's weights map to (OpenType weight classes).
enum class InterWeight : int { regular = 400, semibold = 600, bold = 700, extraBold = 800 };

struct TextFont {
  double pointSize = 17;
  InterWeight weight = InterWeight::regular;
  friend constexpr bool operator==(const TextFont&, const TextFont&) = default;
};

// One piece of text as the layout sees it. Without a line limit the text
// wraps at the offered width; with one it is cut after that many lines, an
// ellipsis marking the end of the last line shown.
struct TextRun {
  std::string text;  // UTF-8
  TextFont font;
  std::optional<int> lineLimit;
};

struct TextMeasurement {
  Size size;             // the lines' extent: the widest line by the height of all lines
  double firstBaseline;  // from the top of the first line
  double lastBaseline;   // from the top of the first line to the last line's baseline
  int lineCount;
  bool truncated;  // an ellipsis replaced some of the text
};

// Lays `run` out in `width` (unbounded: one line per paragraph, nothing cut).
[[nodiscard]] TextMeasurement measureText(const TextRun& run, ProposedLength width);

// Draws `run` laid out in `width`, its first line's top-left corner at
// `origin`, in straight sRGB `red`, `green`, `blue`, `opacity`.
struct TextColor {
  double red = 0;
  double green = 0;
  double blue = 0;
  double opacity = 1;
};
void drawText(cairo_t* cairo, const TextRun& run, Point origin, ProposedLength width,
              TextColor color);

}  // namespace brisklane
