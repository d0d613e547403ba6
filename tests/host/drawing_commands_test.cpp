// The drawing commands of the extension's executable, run as separate
// processes on a fresh device.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <regex>

#include "platform/foundation/user_defaults.h"
#include "tests/support/process.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using testing::readFile;

// Width and height from a PNG's header, or nothing when it is not a PNG.
std::optional<std::pair<std::uint32_t, std::uint32_t>> pngSize(const std::string& bytes) {
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return std::nullopt;
  auto word = [&](std::size_t at) {
    return (std::uint32_t(std::uint8_t(bytes[at])) << 24) |
           (std::uint32_t(std::uint8_t(bytes[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(bytes[at + 2])) << 8) | std::uint8_t(bytes[at + 3]);
  };
  return std::pair{word(16), word(20)};
}

class DrawingCommands : public ::testing::Test {
 protected:
  static testing::ProcessResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), testing::builtProgram("BrisklaneWidgetExtension"));
    return testing::runProcess(arguments);
  }
  std::filesystem::path file(std::string_view name) const { return device_.root() / name; }
  testing::TemporaryDevice device_;
};

TEST_F(DrawingCommands, RendersEachFamilyAtThreeTimesItsSizeOnEachDevice) {
  struct Case {
    std::string kind, family, device;
    std::uint32_t width, height;
  };
  for (const Case& test : {Case{"BrisklaneWidget", "systemSmall", "393x852", 474, 474},
                           Case{"BrisklaneWidget", "systemMedium", "430x932", 1092, 510},
                           Case{"BrisklaneVoiceWidget", "accessoryCircular", "375x667", 204, 204},
                           Case{"BrisklaneVoiceWidget", "accessoryInline", "393x852", 702, 78}}) {
    const auto output = file(test.family + ".png");
    auto result = run({"render", "--kind", test.kind, "--family", test.family, "--device",
                       test.device, "-o", output.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, output.string() + "\n");
    EXPECT_EQ(pngSize(readFile(output).value_or("")),
              (std::pair<std::uint32_t, std::uint32_t>{test.width, test.height}))
        << test.family << " on " << test.device;
  }
}

TEST_F(DrawingCommands, RendersSvgByExtensionOrFormat) {
  auto byExtension = run({"render", "--kind", "BrisklaneWidget", "--source", "placeholder", "-o",
                          file("today.svg").string()});
  ASSERT_EQ(byExtension.exitCode, 0) << byExtension.err;
  EXPECT_NE(readFile(file("today.svg")).value_or("").find("<svg"), std::string::npos);
  auto byFormat = run({"render", "--kind", "BrisklaneWidget", "--format", "svg", "-o",
                       file("today.picture").string()});
  ASSERT_EQ(byFormat.exitCode, 0) << byFormat.err;
  EXPECT_NE(readFile(file("today.picture")).value_or("").find("<svg"), std::string::npos);
}

TEST_F(DrawingCommands, RefusesBadOptionsWithUsageErrors) {
  auto device = run(
      {"render", "--kind", "BrisklaneWidget", "--device", "320x480", "-o", file("x.png").string()});
  EXPECT_EQ(device.exitCode, 2);
  EXPECT_NE(device.err.find("430x932, 393x852 (default), 375x667"), std::string::npos);
  EXPECT_EQ(run({"render", "--kind", "BrisklaneWidget", "--family", "accessoryInline", "-o",
                 file("x.png").string()})
                .exitCode,
            2);
  EXPECT_EQ(run({"render", "--kind", "BrisklaneWidget"}).exitCode, 2);
  EXPECT_EQ(
      run({"render", "--kind", "BrisklaneWidget", "--format", "gif", "-o", file("x.gif").string()})
          .exitCode,
      2);
  EXPECT_EQ(run({"tap", "--kind", "BrisklaneWidget", "--x", "ten", "--y", "1"}).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(file("x.png")));
}

TEST_F(DrawingCommands, FailsWhenTheOutputCannotBeWritten) {
  auto result = run({"render", "--kind", "BrisklaneWidget", "-o",
                     (device_.root() / "missing" / "today.png").string()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("cannot write"), std::string::npos);
}

TEST_F(DrawingCommands, ReportsTheURLATapOpens) {
  auto inside = run(
      {"tap", "--kind", "BrisklaneWidget", "--family", "systemMedium", "--x", "200", "--y", "80"});
  ASSERT_EQ(inside.exitCode, 0) << inside.err;
  EXPECT_EQ(inside.out, "brisklane://today\n");
  auto voice = run({"tap", "--kind", "BrisklaneVoiceWidget", "--family", "accessoryCircular", "--x",
                    "36", "--y", "36"});
  EXPECT_EQ(voice.out, "brisklane://voice\n");
  auto corner = run({"tap", "--kind", "BrisklaneVoiceWidget", "--family", "systemSmall", "--x",
                     "0.5", "--y", "0.5"});
  EXPECT_EQ(corner.exitCode, 1);
  EXPECT_EQ(corner.out, "");
  EXPECT_NE(corner.err.find("nothing opens"), std::string::npos);
}

// With no App running, the tap starts one with the link; it holds the event
// until the web layer (here, the tap's own standard input) listens.
TEST_F(DrawingCommands, OpensTheTappedLinkInApp) {
  const std::string listen = R"({"callbackId":"9","pluginId":"App","methodName":"addListener",)"
                             R"("options":{"eventName":"appUrlOpen"}})"
                             "\n";
  auto tap =
      testing::runProcess({testing::builtProgram("BrisklaneWidgetExtension"), "tap", "--kind",
                           "BrisklaneVoiceWidget", "--x", "40", "--y", "40", "--open"},
                          listen);
  ASSERT_EQ(tap.exitCode, 0) << tap.err;
  EXPECT_TRUE(tap.out.starts_with("brisklane://voice\n")) << tap.out;
  EXPECT_NE(tap.out.find(R"("callbackId":"9","pluginId":"App","methodName":"addListener",)"
                         R"("save":true,"success":true,"data":{"url":"brisklane://voice"})"),
            std::string::npos)
      << tap.out;
}

TEST_F(DrawingCommands, DrawsTheGalleryWithAnIndexAndLeavesTheDeviceAlone) {
  {
    auto store = UserDefaults::open(appGroupIdentifier);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->set("loaded @1", diagKey));
  }
  const auto folder = file("gallery");
  auto result = run({"gallery", "-o", folder.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string index = readFile(folder / "index.html").value_or("");
  // Eight Today states in two families, one Quick-add state in three.
  const std::regex picture(R"re(<img src="([^"]+\.png)")re");
  int pictures = 0;
  for (auto match = std::sregex_iterator(index.begin(), index.end(), picture);
       match != std::sregex_iterator(); ++match) {
    ++pictures;
    const auto png = folder / (*match)[1].str();
    EXPECT_TRUE(pngSize(readFile(png).value_or(""))) << png;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(png).replace_extension(".svg")));
  }
  EXPECT_EQ(pictures, 19);
  for (std::string_view state : {"placeholder", "no-app-group", "app-cannot-share", "linked",
                                 "nothing-due", "overflow", "long-title"}) {
    EXPECT_TRUE(std::filesystem::exists(
        folder / ("BrisklaneWidget-" + std::string(state) + "-systemMedium.png")))
        << state;
  }
  // The states were drawn on temporary devices: this one's store is as it was.
  auto store = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->string(diagKey), "loaded @1");
  EXPECT_FALSE(store->string(todayKey));
}

}  // namespace
}  // namespace brisklane
