// `Color`: an sRGB colour with opacity, as the views name it. Components are
// the exact decimal values the views are written with.
#pragma once

namespace brisklane {

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double opacity = 1;

  [[nodiscard]] static constexpr Color sRGB(double red, double green, double blue,
                                            double opacity = 1) {
    return {red, green, blue, opacity};
  }
  static const Color white;
  static const Color clear;

  friend constexpr bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color Color::white{1, 1, 1, 1};
inline constexpr Color Color::clear{0, 0, 0, 0};

}  // namespace brisklane
