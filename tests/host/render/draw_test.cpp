#include "host/render/draw.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "host/render/png_writer.h"
#include "platform/foundation/process_info.h"
#include "tests/host/render/widget_scenes.h"
#include "tests/support/temporary_device.h"
#include "widget/palette.h"

namespace brisklane {
namespace {

using testing::findText;
using testing::payloadOf;
using testing::todayScene;
using testing::voiceScene;

// A decoded PNG: straight RGBA, row after row.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;

  struct Pixel {
    int red, green, blue, alpha;
  };
  [[nodiscard]] Pixel at(int x, int y) const {
    const std::size_t offset = (static_cast<std::size_t>(y) * width + x) * 4;
    return {rgba[offset], rgba[offset + 1], rgba[offset + 2], rgba[offset + 3]};
  }
  // The pixel under a point of the widget (points, 3x).
  [[nodiscard]] Pixel atPoint(double x, double y) const {
    return at(static_cast<int>(x * drawingScale), static_cast<int>(y * drawingScale));
  }
};

Picture decoded(const std::string& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    ADD_FAILURE() << "not a PNG: " << image.message;
    return picture;
  }
  image.format = PNG_FORMAT_RGBA;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
    ADD_FAILURE() << "cannot decode: " << image.message;
  }
  return picture;
}

Picture rendered(const WidgetScene& scene) {
  auto bytes = renderPng(scene);
  if (!bytes) {
    ADD_FAILURE() << "no PNG";
    return {};
  }
  return decoded(*bytes);
}

int channel(double component) {
  return static_cast<int>(std::lround(component * 255));
}

void expectColor(Picture::Pixel pixel, const Color& color, int within = 1) {
  EXPECT_NEAR(pixel.red, channel(color.red), within);
  EXPECT_NEAR(pixel.green, channel(color.green), within);
  EXPECT_NEAR(pixel.blue, channel(color.blue), within);
  EXPECT_NEAR(pixel.alpha, channel(color.opacity), within);
}

// Whether some pixel inside `frame` has `color`, as the solid core of a glyph
// does.
bool frameHoldsColor(const Picture& picture, const Rect& frame, const Color& color) {
  for (int y = static_cast<int>(frame.minY() * 3); y < static_cast<int>(frame.maxY() * 3); ++y) {
    for (int x = static_cast<int>(frame.minX() * 3); x < static_cast<int>(frame.maxX() * 3); ++x) {
      const Picture::Pixel pixel = picture.at(x, y);
      if (std::abs(pixel.red - channel(color.red)) <= 2 &&
          std::abs(pixel.green - channel(color.green)) <= 2 &&
          std::abs(pixel.blue - channel(color.blue)) <= 2 && pixel.alpha == 255) {
        return true;
      }
    }
  }
  return false;
}

class TodayPicture : public ::testing::TestWithParam<WidgetFamily> {
 protected:
  testing::TemporaryDevice device_;
};

TEST_P(TodayPicture, FillsTheCornersWithTheBackgroundInsideRoundedCorners) {
  for (const auto& version : {OperatingSystemVersion{16, 4, 0}, OperatingSystemVersion{17, 0, 0}}) {
    setOperatingSystemVersion(version);
    const WidgetScene scene = todayScene(payloadOf("urgent", 3, 1), GetParam());
    const Picture picture = rendered(scene);
    const Size size = scene.layout.canvas;
    for (const Point corner :
         {Point{10, 10}, Point{size.width - 10, 10}, Point{10, size.height - 10},
          Point{size.width - 10, size.height - 10}}) {
      expectColor(picture.atPoint(corner.x, corner.y), backgroundColor());
    }
    // The very corners lie outside the continuous outline.
    EXPECT_EQ(picture.at(0, 0).alpha, 0);
    EXPECT_EQ(picture.at(picture.width - 1, picture.height - 1).alpha, 0);
  }
  setOperatingSystemVersion(defaultOperatingSystemVersion);
}

TEST_P(TodayPicture, DrawsTheLabelInItsTierColor) {
  for (const auto& [tier, label, color] : {std::tuple{"urgent", "URGENT", urgentColor()},
                                           std::tuple{"important", "IMPORTANT", importantColor()},
                                           std::tuple{"Urgent", "ALL CLEAR", calmColor()}}) {
    const WidgetScene scene = todayScene(payloadOf(tier, 2, 2), GetParam());
    const Picture picture = rendered(scene);
    const NodeLayout* text = findText(scene.layout, label);
    ASSERT_TRUE(text);
    EXPECT_TRUE(frameHoldsColor(picture, text->frame, color)) << label;
    EXPECT_FALSE(frameHoldsColor(picture, text->frame, mutedTextColor())) << label;
  }
}

INSTANTIATE_TEST_SUITE_P(Families, TodayPicture,
                         ::testing::Values(WidgetFamily::systemSmall, WidgetFamily::systemMedium),
                         [](const auto& parameter) { return std::string(name(parameter.param)); });

TEST(VoicePicture, LeavesTheClearContainerTransparentAndAccessoriesMonochrome) {
  const Picture small = rendered(voiceScene(WidgetFamily::systemSmall));
  EXPECT_EQ(small.at(0, 0).alpha, 0);
  expectColor(small.atPoint(10, 10), backgroundColor());

  const WidgetScene circularScene = voiceScene(WidgetFamily::accessoryCircular);
  const Picture circular = rendered(circularScene);
  EXPECT_EQ(circular.at(0, 0).alpha, 0);
  EXPECT_EQ(circular.at(circular.width - 1, 0).alpha, 0);
  // Inside the circle, away from the symbol: the translucent white backdrop.
  expectColor(circular.atPoint(circularScene.layout.canvas.width / 2, 4), accessoryBackdropColor,
              2);

  const WidgetScene inlineScene = voiceScene(WidgetFamily::accessoryInline);
  const Picture line = rendered(inlineScene);
  EXPECT_EQ(line.atPoint(1, 1).alpha, 0);
  EXPECT_EQ(line.atPoint(inlineScene.layout.canvas.width - 1, 13).alpha, 0);
  const NodeLayout& label =
      inlineScene.layout.nodes[testing::firstIndexOf<Label>(inlineScene.layout)];
  EXPECT_TRUE(frameHoldsColor(line, label.frame, Color::white));
}

TEST(WidgetSvg, DrawsTheSameSceneAsVectors) {
  testing::TemporaryDevice device;
  const WidgetScene scene = todayScene(payloadOf("urgent", 3, 1), WidgetFamily::systemSmall);
  const auto svg = renderSvg(scene);
  ASSERT_TRUE(svg);
  EXPECT_NE(svg->find("width=\"158px\""), std::string::npos);
  EXPECT_NE(svg->find("clip-path"), std::string::npos);
  EXPECT_EQ(svg->find("<image"), std::string::npos) << "no part of the drawing fell back to pixels";
}

TEST(WidgetTaps, OpenTheWidgetsURLInsideItsOutlineOnly) {
  testing::TemporaryDevice device;
  const WidgetScene today = todayScene(std::nullopt, WidgetFamily::systemMedium);
  EXPECT_EQ(urlAt(today, {10, 80}), URL{"brisklane://today"});
  EXPECT_EQ(urlAt(today, {300, 150}), URL{"brisklane://today"});
  EXPECT_FALSE(urlAt(today, {0.5, 0.5}));  // the rounded corner
  EXPECT_FALSE(urlAt(today, {-1, 10}));
  EXPECT_FALSE(urlAt(today, {10, today.layout.canvas.height}));

  const WidgetScene circular = voiceScene(WidgetFamily::accessoryCircular);
  EXPECT_EQ(urlAt(circular, {36, 36}), URL{"brisklane://voice"});
  EXPECT_FALSE(urlAt(circular, {4, 4}));
  const WidgetScene line = voiceScene(WidgetFamily::accessoryInline);
  EXPECT_EQ(urlAt(line, {2, 2}), URL{"brisklane://voice"});
}

// Its straight alpha shows in the accessories' translucent backdrop above.
TEST(PngWriter, RefusesSurfacesItCannotRead) {
  cairo_surface_t* alphaOnly = cairo_image_surface_create(CAIRO_FORMAT_A8, 4, 4);
  EXPECT_FALSE(encodePng(alphaOnly));
  cairo_surface_destroy(alphaOnly);
  cairo_surface_t* empty = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 0, 0);
  EXPECT_FALSE(encodePng(empty));
  cairo_surface_destroy(empty);
}

}  // namespace
}  // namespace brisklane
