// The outlines the host draws with: the phone's continuous ("squircle")
// rounded rectangle for widget corners, circles for the circular accessory
// family, and the one system symbol the widgets use, "mic.fill", drawn from
// our own outline.
#pragma once

#include <cairo.h>

#include <optional>
#include <string_view>

#include "host/render/geometry.h"
#include "host/render/text.h"

namespace brisklane {

// Adds the continuous rounded rectangle's outline to the current path. The
// corner curve spans about 1.53 radii of each edge, as on the phone; a radius
// too large for the rectangle is reduced to fit.
void appendContinuousRoundedRect(cairo_t* cairo, const Rect& rect, double radius);

// A system symbol drawn from an outline of ours.
enum class SystemSymbol { micFill };

[[nodiscard]] std::optional<SystemSymbol> systemSymbolNamed(std::string_view name);

// The symbol's box and first baseline when set in `font`: symbols scale with
// the font's size and their strokes thicken with its weight.
struct SymbolMetrics {
  Size size;
  double baseline;  // from the top; symbols sit on the text baseline
};
[[nodiscard]] SymbolMetrics symbolMetrics(SystemSymbol symbol, const TextFont& font);

// Fills and strokes the symbol into `frame` (its box) with Cairo's current
// source.
void drawSymbol(cairo_t* cairo, SystemSymbol symbol, const TextFont& font, const Rect& frame);

}  // namespace brisklane
