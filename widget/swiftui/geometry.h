// The sizing and placement vocabulary of views: alignments, edge sets and the
// lengths a view asks for. "The host's default" and "unbounded" are values of
// their own types, never magic numbers: a host reading a tree can tell a
// spacing of 0 from "whatever the host spaces by", and a frame of some width
// from one that takes all the width it is offered.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "base/enum_names.h"

namespace brisklane {

enum class HorizontalAlignment { leading, center, trailing };
template <>
inline constexpr auto enumNames<HorizontalAlignment> =
    namesThrough<HorizontalAlignment::trailing>({"leading", "center", "trailing"});

enum class VerticalAlignment { top, center, bottom, firstTextBaseline, lastTextBaseline };
template <>
inline constexpr auto enumNames<VerticalAlignment> =
    namesThrough<VerticalAlignment::lastTextBaseline>({"top", "center", "bottom",
                                                       "firstTextBaseline", "lastTextBaseline"});

// A two-dimensional alignment, as `ZStack` and `frame` place their content.
struct Alignment {
  HorizontalAlignment horizontal = HorizontalAlignment::center;
  VerticalAlignment vertical = VerticalAlignment::center;

  static const Alignment topLeading;
  static const Alignment top;
  static const Alignment topTrailing;
  static const Alignment leading;
  static const Alignment center;
  static const Alignment trailing;
  static const Alignment bottomLeading;
  static const Alignment bottom;
  static const Alignment bottomTrailing;

  friend constexpr bool operator==(const Alignment&, const Alignment&) = default;
};

inline constexpr Alignment Alignment::topLeading{HorizontalAlignment::leading,
                                                 VerticalAlignment::top};
inline constexpr Alignment Alignment::top{HorizontalAlignment::center, VerticalAlignment::top};
inline constexpr Alignment Alignment::topTrailing{HorizontalAlignment::trailing,
                                                  VerticalAlignment::top};
inline constexpr Alignment Alignment::leading{HorizontalAlignment::leading,
                                              VerticalAlignment::center};
inline constexpr Alignment Alignment::center{HorizontalAlignment::center,
                                             VerticalAlignment::center};
inline constexpr Alignment Alignment::trailing{HorizontalAlignment::trailing,
                                               VerticalAlignment::center};
inline constexpr Alignment Alignment::bottomLeading{HorizontalAlignment::leading,
                                                    VerticalAlignment::bottom};
inline constexpr Alignment Alignment::bottom{HorizontalAlignment::center,
                                             VerticalAlignment::bottom};
inline constexpr Alignment Alignment::bottomTrailing{HorizontalAlignment::trailing,
                                                     VerticalAlignment::bottom};

// One edge of a rectangle; `EdgeSet` is a set of them (`Edge.Set`).
enum class Edge : std::uint8_t { top = 1, leading = 2, bottom = 4, trailing = 8 };
template <>
inline constexpr auto enumNames<Edge> =
    namesThrough<Edge::trailing>({"", "top", "leading", "", "bottom", "", "", "", "trailing"});

class EdgeSet {
 public:
  constexpr EdgeSet() = default;
  constexpr EdgeSet(Edge edge) : bits_(static_cast<std::uint8_t>(edge)) {}  // NOLINT: implicit
  [[nodiscard]] static constexpr EdgeSet all() { return EdgeSet(0b1111); }
  [[nodiscard]] static constexpr EdgeSet horizontal() { return EdgeSet(0b1010); }
  [[nodiscard]] static constexpr EdgeSet vertical() { return EdgeSet(0b0101); }

  [[nodiscard]] constexpr bool contains(Edge edge) const {
    return (bits_ & static_cast<std::uint8_t>(edge)) != 0;
  }
  [[nodiscard]] constexpr bool empty() const { return bits_ == 0; }
  friend constexpr EdgeSet operator|(EdgeSet left, EdgeSet right) {
    return EdgeSet(static_cast<std::uint8_t>(left.bits_ | right.bits_));
  }
  friend constexpr bool operator==(const EdgeSet&, const EdgeSet&) = default;

 private:
  constexpr explicit EdgeSet(std::uint8_t bits) : bits_(bits) {}
  std::uint8_t bits_ = 0;
};

inline constexpr Edge allEdges[] = {Edge::top, Edge::leading, Edge::bottom, Edge::trailing};

// "Whatever the host uses here": the default spacing of a stack, the default
// minimum length of a spacer, the default padding.
struct HostDefault {
  friend constexpr bool operator==(const HostDefault&, const HostDefault&) = default;
};
inline constexpr HostDefault hostDefault{};

// A length in points, or the host's default.
class Length {
 public:
  constexpr Length(HostDefault /*unused*/) {}                // NOLINT: implicit on purpose
  constexpr Length(double points) : points_(points) {}       // NOLINT: implicit on purpose
  constexpr Length(int points) : points_(double(points)) {}  // NOLINT: implicit on purpose

  // The length in points; nothing when the host chooses.
  [[nodiscard]] constexpr const std::optional<double>& points() const { return points_; }
  // The length in points, the host's own value standing in for the default.
  [[nodiscard]] constexpr double resolved(double hostValue) const {
    return points_.value_or(hostValue);
  }

  friend constexpr bool operator==(const Length&, const Length&) = default;

 private:
  std::optional<double> points_;
};

// `.infinity` as a frame's maximum: take all the room offered.
struct Unbounded {
  friend constexpr bool operator==(const Unbounded&, const Unbounded&) = default;
};
inline constexpr Unbounded unbounded{};

// A frame's maximum width or height: a length in points or unbounded.
using MaximumLength = std::variant<double, Unbounded>;

}  // namespace brisklane
