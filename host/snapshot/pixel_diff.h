// Comparing two pictures pixel by pixel, the way pixelmatch does: a pixel
// differs when its colour distance in YIQ space exceeds a threshold, and a
// differing pixel that anti-aliasing explains (an edge pixel between a darker
// and a brighter neighbour, each sitting in a flat area of both pictures) is
// counted apart, as noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisklane {

// Straight (not premultiplied) RGBA, 8 bits a channel, rows top to bottom.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 4
};

// The PNG in `bytes`, or nothing when they are not a PNG libpng can read or
// it is larger than `maximumPixels`.
inline constexpr std::size_t maximumPixels = std::size_t{1} << 24;
[[nodiscard]] std::optional<RgbaImage> decodePng(std::string_view bytes);
// `image` as PNG bytes, or nothing when it cannot be encoded.
[[nodiscard]] std::optional<std::string> encodePng(const RgbaImage& image);

struct PixelComparisonOptions {
  double threshold = 0.1;  // 0 (exact) to 1; pixelmatch's default
  bool countAntiAliased = false;
};

struct PixelComparison {
  std::size_t differing = 0;    // pixels beyond the threshold, anti-aliasing aside
  std::size_t antiAliased = 0;  // pixels beyond the threshold that anti-aliasing explains
  RgbaImage picture;            // `before` faded, differences red, anti-aliasing yellow
};

// `before` and `now` must have one size.
[[nodiscard]] PixelComparison comparePixels(const RgbaImage& before, const RgbaImage& now,
                                            const PixelComparisonOptions& options = {});

}  // namespace brisklane
