// Points, sizes and rectangles in points (the widget's logical units), and the
// length a parent proposes to a child. Drawing multiplies by the device scale
// only at the very end, so every value here is resolution-independent.
#pragma once

#include <algorithm>
#include <limits>
#include <optional>

namespace brisklane {

struct Point {
  double x = 0;
  double y = 0;
  friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;

  [[nodiscard]] constexpr double minX() const { return origin.x; }
  [[nodiscard]] constexpr double minY() const { return origin.y; }
  [[nodiscard]] constexpr double maxX() const { return origin.x + size.width; }
  [[nodiscard]] constexpr double maxY() const { return origin.y + size.height; }
  [[nodiscard]] constexpr double midX() const { return origin.x + size.width / 2; }
  [[nodiscard]] constexpr double midY() const { return origin.y + size.height / 2; }

  [[nodiscard]] constexpr bool contains(Point point) const {
    return point.x >= minX() && point.x < maxX() && point.y >= minY() && point.y < maxY();
  }
  // Whether `inner` lies within this rectangle, allowing `tolerance` points of
  // rounding on each edge.
  [[nodiscard]] constexpr bool encloses(const Rect& inner, double tolerance = 1e-6) const {
    return inner.minX() >= minX() - tolerance && inner.minY() >= minY() - tolerance &&
           inner.maxX() <= maxX() + tolerance && inner.maxY() <= maxY() + tolerance;
  }

  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// The length a parent offers a child along one axis: a number of points, or
// unbounded, in which case the child answers its ideal length. An infinite
// number of points asks for the most the child would take: infinite for one
// that takes any length it is offered.
class ProposedLength {
 public:
  [[nodiscard]] static constexpr ProposedLength unbounded() { return ProposedLength(); }
  [[nodiscard]] static constexpr ProposedLength points(double length) {
    return ProposedLength(std::max(0.0, length));
  }
  [[nodiscard]] static constexpr ProposedLength infinity() {
    return ProposedLength(std::numeric_limits<double>::infinity());
  }

  [[nodiscard]] constexpr bool isUnbounded() const { return !points_.has_value(); }
  [[nodiscard]] constexpr bool isInfinite() const {
    return points_ == std::numeric_limits<double>::infinity();
  }
  // The length; only meaningful when bounded.
  [[nodiscard]] constexpr double value() const { return points_.value_or(0); }
  // The length, or `fallback` when unbounded.
  [[nodiscard]] constexpr double valueOr(double fallback) const {
    return points_.value_or(fallback);
  }

  friend constexpr bool operator==(const ProposedLength&, const ProposedLength&) = default;

 private:
  constexpr ProposedLength() = default;
  constexpr explicit ProposedLength(double length) : points_(length) {}
  std::optional<double> points_;
};

struct ProposedSize {
  ProposedLength width = ProposedLength::unbounded();
  ProposedLength height = ProposedLength::unbounded();
  friend constexpr bool operator==(const ProposedSize&, const ProposedSize&) = default;
};

}  // namespace brisklane
