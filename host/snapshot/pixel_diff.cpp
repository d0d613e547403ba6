#include "host/snapshot/pixel_diff.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace brisklane {
namespace {

// --- Colour distance (Kotsarenko and Ramos, "Measuring perceived color
// difference using YIQ NTSC transmission color space") ---

struct Rgb {
  double red;
  double green;
  double blue;
};

double brightness(const Rgb& color) {
  return (color.red * 0.29889531) + (color.green * 0.58662247) + (color.blue * 0.11448223);
}
double inPhase(const Rgb& color) {
  return (color.red * 0.59597799) - (color.green * 0.27417610) - (color.blue * 0.32180189);
}
double quadrature(const Rgb& color) {
  return (color.red * 0.21147017) - (color.green * 0.52261711) + (color.blue * 0.31114694);
}

// The pixel blended onto white by its opacity.
Rgb onWhite(const std::uint8_t* pixel) {
  const double opacity = pixel[3] / 255.0;
  const auto blend = [opacity](std::uint8_t channel) { return 255 + ((channel - 255) * opacity); };
  return Rgb{blend(pixel[0]), blend(pixel[1]), blend(pixel[2])};
}

bool samePixel(const std::uint8_t* first, const std::uint8_t* second) {
  return std::equal(first, first + 4, second);
}

// The squared YIQ distance, negative when `first` is the brighter.
double colorDelta(const std::uint8_t* first, const std::uint8_t* second) {
  if (samePixel(first, second)) return 0;
  const Rgb one = onWhite(first);
  const Rgb two = onWhite(second);
  const double y = brightness(one) - brightness(two);
  const double i = inPhase(one) - inPhase(two);
  const double q = quadrature(one) - quadrature(two);
  const double delta = (0.5053 * y * y) + (0.299 * i * i) + (0.1957 * q * q);
  return y > 0 ? -delta : delta;
}

double brightnessDelta(const std::uint8_t* first, const std::uint8_t* second) {
  if (samePixel(first, second)) return 0;
  return brightness(onWhite(first)) - brightness(onWhite(second));
}

// --- Anti-aliasing (Vyšniauskas, "Anti-aliased pixel and intensity slope
// detector") ---

struct Neighbourhood {
  int left, top, right, bottom;
  int zeroes;  // a pixel on the picture's edge starts with one
};

Neighbourhood around(const RgbaImage& image, int x, int y) {
  const Neighbourhood around{std::max(x - 1, 0), std::max(y - 1, 0),
                             std::min(x + 1, image.width - 1), std::min(y + 1, image.height - 1),
                             0};
  const bool onEdge =
      x == around.left || x == around.right || y == around.top || y == around.bottom;
  return Neighbourhood{around.left, around.top, around.right, around.bottom, onEdge ? 1 : 0};
}

std::size_t offsetOf(const RgbaImage& image, int x, int y) {
  return ((std::size_t(y) * std::size_t(image.width)) + std::size_t(x)) * 4;
}
const std::uint8_t* pixelAt(const RgbaImage& image, int x, int y) {
  return &image.pixels[offsetOf(image, x, y)];
}

// Whether more than two neighbours of (x, y) have exactly its colour.
bool hasManySiblings(const RgbaImage& image, int x, int y) {
  Neighbourhood near = around(image, x, y);
  const std::uint8_t* centre = pixelAt(image, x, y);
  for (int column = near.left; column <= near.right; ++column) {
    for (int row = near.top; row <= near.bottom; ++row) {
      if (column == x && row == y) continue;
      if (samePixel(centre, pixelAt(image, column, row))) ++near.zeroes;
      if (near.zeroes > 2) return true;
    }
  }
  return false;
}

// Whether (x, y) of `image` is an anti-aliased edge pixel: between a darkest
// and a brightest neighbour, one of which lies in a flat area of both pictures.
bool isAntiAliased(const RgbaImage& image, int x, int y, const RgbaImage& other) {
  Neighbourhood near = around(image, x, y);
  const std::uint8_t* centre = pixelAt(image, x, y);
  double darkest = 0;
  double brightest = 0;
  std::array<int, 2> darkestAt{};
  std::array<int, 2> brightestAt{};
  for (int column = near.left; column <= near.right; ++column) {
    for (int row = near.top; row <= near.bottom; ++row) {
      if (column == x && row == y) continue;
      const double delta = brightnessDelta(centre, pixelAt(image, column, row));
      if (delta == 0) {
        if (++near.zeroes > 2) return false;
      } else if (delta < darkest) {
        darkest = delta;
        darkestAt = {column, row};
      } else if (delta > brightest) {
        brightest = delta;
        brightestAt = {column, row};
      }
    }
  }
  if (darkest == 0 || brightest == 0) return false;
  const auto flatInBoth = [&](const std::array<int, 2>& at) {
    return hasManySiblings(image, at[0], at[1]) && hasManySiblings(other, at[0], at[1]);
  };
  return flatInBoth(darkestAt) || flatInBoth(brightestAt);
}

void paint(std::uint8_t* pixel, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  pixel[0] = red;
  pixel[1] = green;
  pixel[2] = blue;
  pixel[3] = 255;
}

// The unchanged pixel, as a light grey of its brightness.
void paintFaded(std::uint8_t* into, const std::uint8_t* pixel) {
  constexpr double fading = 0.1;
  const Rgb color{double(pixel[0]), double(pixel[1]), double(pixel[2])};
  const double grey = 255 + ((brightness(color) - 255) * fading * (pixel[3] / 255.0));
  const auto level = static_cast<std::uint8_t>(std::clamp(grey, 0.0, 255.0));
  paint(into, level, level, level);
}

}  // namespace

std::optional<RgbaImage> decodePng(std::string_view bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0)
    return std::nullopt;
  if (std::size_t(image.width) * image.height > maximumPixels) {
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  RgbaImage decoded{int(image.width), int(image.height), {}};
  decoded.pixels.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, decoded.pixels.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return std::nullopt;
  }
  return decoded;
}

std::optional<std::string> encodePng(const RgbaImage& image) {
  png_image description{};
  description.version = PNG_IMAGE_VERSION;
  description.width = png_uint_32(image.width);
  description.height = png_uint_32(image.height);
  description.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&description, nullptr, &size, 0, image.pixels.data(), 0, nullptr) ==
      0) {
    return std::nullopt;
  }
  std::string bytes(size, '\0');
  if (png_image_write_to_memory(&description, bytes.data(), &size, 0, image.pixels.data(), 0,
                                nullptr) == 0) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

PixelComparison comparePixels(const RgbaImage& before, const RgbaImage& now,
                              const PixelComparisonOptions& options) {
  // 35215 is the largest squared YIQ distance, that of black and white.
  const double maximumDelta = 35215 * options.threshold * options.threshold;
  PixelComparison comparison{0, 0, RgbaImage{before.width, before.height, {}}};
  comparison.picture.pixels.resize(before.pixels.size());
  for (int y = 0; y < before.height; ++y) {
    for (int x = 0; x < before.width; ++x) {
      const std::uint8_t* was = pixelAt(before, x, y);
      std::uint8_t* into = &comparison.picture.pixels[offsetOf(before, x, y)];
      if (std::abs(colorDelta(was, pixelAt(now, x, y))) <= maximumDelta) {
        paintFaded(into, was);
      } else if (!options.countAntiAliased &&
                 (isAntiAliased(before, x, y, now) || isAntiAliased(now, x, y, before))) {
        paint(into, 255, 255, 0);
        ++comparison.antiAliased;
      } else {
        paint(into, 255, 0, 0);
        ++comparison.differing;
      }
    }
  }
  return comparison;
}

}  // namespace brisklane
