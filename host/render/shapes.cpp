#include "host/render/shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brisklane {
namespace {

// The continuous corner, in multiples of the radius, measured from the
// corner along the edge where the curve starts, through two intermediate
// points (each curve segment is a cubic Bézier).
constexpr double cornerExtent = 1.52866483;

// The "mic.fill" outline lives in a box 64 units wide and 92 high whose
// height is 1.1 em; the stroke width follows the weight.
constexpr double micBoxWidth = 64;
constexpr double micBoxHeight = 92;
constexpr double micHeightInEm = 1.1;
constexpr double micBaseline = 86;  // the symbol's foot rests on the text baseline

double micStrokeWidth(InterWeight weight) {
  switch (weight) {
    case InterWeight::regular:
      return 6.5;
    case InterWeight::semibold:
      return 8;
    case InterWeight::bold:
      return 9;
    case InterWeight::extraBold:
      return 10;
  }
  return 6.5;
}

}  // namespace

void appendContinuousRoundedRect(cairo_t* cairo, const Rect& rect, double radius) {
  const double r =
      std::clamp(radius, 0.0, std::min(rect.size.width, rect.size.height) / 2 / cornerExtent);
  const double left = rect.minX();
  const double top = rect.minY();
  const double right = rect.maxX();
  const double bottom = rect.maxY();
  if (r <= 0) {
    cairo_rectangle(cairo, left, top, rect.size.width, rect.size.height);
    return;
  }
  // One corner, met clockwise: `along` points back along the edge the path
  // arrives on, `in` from that edge into the rectangle (the direction of the
  // edge the path leaves on).
  auto corner = [&](double cornerX, double cornerY, double alongX, double alongY, double inX,
                    double inY) {
    auto at = [&](double along, double in) {
      return std::pair{cornerX + alongX * along * r + inX * in * r,
                       cornerY + alongY * along * r + inY * in * r};
    };
    auto curve = [&](std::pair<double, double> a, std::pair<double, double> b,
                     std::pair<double, double> c) {
      cairo_curve_to(cairo, a.first, a.second, b.first, b.second, c.first, c.second);
    };
    auto [startX, startY] = at(cornerExtent, 0);
    cairo_line_to(cairo, startX, startY);
    curve(at(1.08849323, 0), at(0.86840689, 0), at(0.63149399, 0.07491100));
    curve(at(0.37282392, 0.16906013), at(0.16906013, 0.37282392), at(0.07491100, 0.63149399));
    curve(at(0, 0.86840689), at(0, 1.08849323), at(0, cornerExtent));
  };
  cairo_new_sub_path(cairo);
  cairo_move_to(cairo, left + cornerExtent * r, top);
  corner(right, top, -1, 0, 0, 1);
  corner(right, bottom, 0, -1, -1, 0);
  corner(left, bottom, 1, 0, 0, -1);
  corner(left, top, 0, 1, 1, 0);
  cairo_close_path(cairo);
}

std::optional<SystemSymbol> systemSymbolNamed(std::string_view name) {
  if (name == "mic.fill") return SystemSymbol::micFill;
  return std::nullopt;
}

SymbolMetrics symbolMetrics(SystemSymbol symbol, const TextFont& font) {
  switch (symbol) {
    case SystemSymbol::micFill: {
      const double unit = font.pointSize * micHeightInEm / micBoxHeight;
      return {.size = {micBoxWidth * unit, micBoxHeight * unit}, .baseline = micBaseline * unit};
    }
  }
  return {};
}

void drawSymbol(cairo_t* cairo, SystemSymbol symbol, const TextFont& font, const Rect& frame) {
  switch (symbol) {
    case SystemSymbol::micFill: {
      const double unit = frame.size.height / micBoxHeight;
      cairo_save(cairo);
      cairo_translate(cairo, frame.minX() + (frame.size.width - micBoxWidth * unit) / 2,
                      frame.minY());
      cairo_scale(cairo, unit, unit);
      cairo_new_path(cairo);
      // The capsule of the microphone's head.
      constexpr double headLeft = 17, headRight = 47, headTop = 2, headBottom = 60;
      constexpr double headRadius = (headRight - headLeft) / 2;
      cairo_arc(cairo, headLeft + headRadius, headTop + headRadius, headRadius, std::numbers::pi,
                0);
      cairo_arc(cairo, headLeft + headRadius, headBottom - headRadius, headRadius, 0,
                std::numbers::pi);
      cairo_close_path(cairo);
      cairo_fill(cairo);
      // The cradle, the stem and the foot.
      cairo_set_line_width(cairo, micStrokeWidth(font.weight));
      cairo_set_line_cap(cairo, CAIRO_LINE_CAP_ROUND);
      cairo_arc_negative(cairo, 32, 38, 25, std::numbers::pi, 0);
      cairo_new_sub_path(cairo);
      cairo_move_to(cairo, 32, 63);
      cairo_line_to(cairo, 32, 82);
      cairo_new_sub_path(cairo);
      cairo_move_to(cairo, 19, 86);
      cairo_line_to(cairo, 45, 86);
      cairo_stroke(cairo);
      cairo_restore(cairo);
      return;
    }
  }
}

}  // namespace brisklane
