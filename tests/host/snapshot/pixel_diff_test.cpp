// Pixels compared as pixelmatch compares them: real differences counted,
// anti-aliasing told apart, and PNG bytes in and out.
#include "host/snapshot/pixel_diff.h"

#include <gtest/gtest.h>

namespace brisklane {
namespace {

RgbaImage filled(int width, int height, std::uint8_t level) {
  RgbaImage image{width, height, std::vector<std::uint8_t>(std::size_t(width * height) * 4, level)};
  for (std::size_t index = 3; index < image.pixels.size(); index += 4) image.pixels[index] = 255;
  return image;
}

void setPixel(RgbaImage& image, int x, int y, std::uint8_t level) {
  std::uint8_t* pixel = &image.pixels[(std::size_t(y * image.width + x)) * 4];
  pixel[0] = pixel[1] = pixel[2] = level;
}

// Black on the left of column `edge`, white from it on.
RgbaImage halves(int edge) {
  RgbaImage image = filled(8, 8, 255);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < edge; ++x) setPixel(image, x, y, 0);
  }
  return image;
}

TEST(PixelDiff, CountsRealDifferencesAndTellsAntiAliasingApart) {
  const RgbaImage before = halves(4);
  EXPECT_EQ(comparePixels(before, before).differing, 0u);

  // The edge softened: a grey column between flat black and flat white.
  RgbaImage softened = before;
  for (int y = 0; y < 8; ++y) setPixel(softened, 4, y, 128);
  const PixelComparison edge = comparePixels(before, softened);
  EXPECT_EQ(edge.differing, 0u);
  EXPECT_EQ(edge.antiAliased, 8u);
  EXPECT_EQ(comparePixels(before, softened, {.threshold = 0.1, .countAntiAliased = true}).differing,
            8u);

  // A dot in a flat area is no edge.
  RgbaImage dotted = before;
  setPixel(dotted, 6, 3, 0);
  const PixelComparison dot = comparePixels(before, dotted);
  EXPECT_EQ(dot.differing, 1u);
  const std::uint8_t* marked = &dot.picture.pixels[(3 * 8 + 6) * 4];
  EXPECT_EQ((std::vector<std::uint8_t>(marked, marked + 4)),
            (std::vector<std::uint8_t>{255, 0, 0, 255}));

  // Within the threshold, a pixel is the same.
  RgbaImage nudged = before;
  setPixel(nudged, 6, 3, 250);
  EXPECT_EQ(comparePixels(before, nudged).differing, 0u);
  EXPECT_EQ(comparePixels(before, nudged, {.threshold = 0, .countAntiAliased = false}).differing,
            1u);
}

TEST(PixelDiff, ReadsBackThePngItWritesAndRefusesWhatIsNotOne) {
  RgbaImage image = halves(3);
  image.pixels[3] = 10;  // opacity survives
  const auto bytes = encodePng(image);
  ASSERT_TRUE(bytes);
  const auto decoded = decodePng(*bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, 8);
  EXPECT_EQ(decoded->pixels, image.pixels);
  EXPECT_FALSE(decodePng("not a picture"));
  EXPECT_FALSE(decodePng(bytes->substr(0, bytes->size() / 2)));
}

}  // namespace
}  // namespace brisklane
