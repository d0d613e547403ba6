// The extension's executable end to end, run as separate processes on a
// fresh device: its entry hands the bundle to the host, whose commands answer
// on standard output with exit codes and draw pictures.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "host/snapshot/pixel_diff.h"
#include "platform/foundation/user_defaults.h"
#include "platform/os/files.h"
#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using Json = nlohmann::json;

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

class Extension : public ::testing::Test {
 protected:
  static testing::ProcessResult run(const std::vector<std::string>& arguments,
                                    std::string_view input = {}) {
    return testing::runProcess(testing::builtProgram("BrisklaneWidgetExtension"), arguments, input);
  }
  std::string file(std::string_view name) const { return (device_.root() / name).string(); }
  testing::TemporaryDevice device_;
};
using DrawingCommands = Extension;

// What the timeline command prints of the store is the browser's app page
// test's (it reads each summary back through it).
TEST_F(Extension, ListsBothDeclarationsAndPrintsTheViewOnTheSystemAsked) {
  auto listed = run({"list", "--json"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const Json widgets = Json::parse(listed.out).at("widgets");
  ASSERT_EQ(widgets.size(), 2u);
  EXPECT_EQ(widgets[1]["kind"], "BrisklaneVoiceWidget");
  auto text = run({"list"});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_LT(text.out.find("BrisklaneWidget\n"), text.out.find("BrisklaneVoiceWidget\n"));

  // The content function's view on the system asked; the version test itself
  // is the content function's (widget_bundle_test).
  auto view = run({"view", "--kind", "BrisklaneWidget", "--family", "systemMedium", "--source",
                   "placeholder", "--json"});
  ASSERT_EQ(view.exitCode, 0) << view.err;
  Json document = Json::parse(view.out);
  EXPECT_EQ(document.at("source"), "placeholder");
  EXPECT_EQ(document["view"]["type"], "containerBackground") << "the default system is 17 or later";
  EXPECT_NE(view.out.find("Envoyer galerie  \xC2\xB7  Mariage"), std::string::npos)
      << "texts are written as UTF-8";

  auto sixteen = run({"--os-version", "16.4", "view", "--kind", "BrisklaneVoiceWidget", "--family",
                      "accessoryInline", "--json"});
  ASSERT_EQ(sixteen.exitCode, 0) << sixteen.err;
  EXPECT_EQ(Json::parse(sixteen.out)["osVersion"], "16.4.0");
  EXPECT_EQ(Json::parse(sixteen.out)["view"]["type"], "widgetURL");
}

// A bad command line exits with 2 and says what is offered; a drawing that
// cannot be made or written, with 1.
TEST_F(Extension, RefusesABadCommandLineAndADrawingItCannotMakeWithExitCodesAndWhy) {
  const std::string png = file("x.png");
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string error;
  } cases[] = {
      {{"view", "--kind", "BrisklaneVoiceWidget", "--family", "systemMedium"},
       2,
       "accessoryCircular, accessoryInline, systemSmall"},
      {{"view", "--kind", "BrisklaneWidget", "--family", "accessoryCircular"},
       2,
       "systemSmall, systemMedium"},
      {{"timeline", "--kind", "Brisklanewidget"}, 2, "BrisklaneWidget, BrisklaneVoiceWidget"},
      {{"view", "--kind", "BrisklaneWidget", "--source", "preview"}, 2, ""},
      {{"--os-version", "seventeen", "timeline"}, 2, ""},
      {{"timeline", "--no-such-option"}, 2, ""},
      {{"no-such-command"}, 2, ""},
      {{}, 2, ""},
      {{"render", "--kind", "BrisklaneWidget", "--device", "320x480", "-o", png},
       2,
       "430x932, 393x852 (default), 375x667"},
      {{"render", "--kind", "BrisklaneWidget", "--family", "accessoryInline", "-o", png}, 2, ""},
      {{"render", "--kind", "BrisklaneWidget"}, 2, ""},
      {{"render", "--kind", "BrisklaneWidget", "--format", "gif", "-o", file("x.gif")}, 2, ""},
      {{"tap", "--kind", "BrisklaneWidget", "--x", "ten", "--y", "1"}, 2, ""},
      {{"render", "--kind", "BrisklaneWidget", "-o", file("missing/today.png")}, 1, "cannot write"},
      {{"tap", "--kind", "BrisklaneVoiceWidget", "--family", "systemSmall", "--x", "0.5", "--y",
        "0.5"},
       1,
       "nothing opens"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(::testing::PrintToString(test.arguments));
    auto result = run(test.arguments);
    EXPECT_EQ(result.exitCode, test.exitCode);
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(result.err.empty());
    EXPECT_NE(result.err.find(test.error), std::string::npos) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(png));
}

TEST_F(DrawingCommands, RendersEachFamilyAtThreeTimesItsSizeSvgByFormatAndTheGallery) {
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
                       test.device, "-o", output});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, output + "\n");
    EXPECT_EQ(pngSize(readFile(output).value_or("")),
              (std::pair<std::uint32_t, std::uint32_t>{test.width, test.height}))
        << test.family << " on " << test.device;
  }
  for (const auto& arguments :
       {std::vector<std::string>{"-o", file("today.svg")},
        std::vector<std::string>{"--format", "svg", "-o", file("today.x")}}) {
    std::vector<std::string> command{"render", "--kind", "BrisklaneWidget"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ASSERT_EQ(run(command).exitCode, 0);
    EXPECT_NE(readFile(arguments.back()).value_or("").find("<svg"), std::string::npos);
  }

  // The gallery draws every state with an index, and leaves the device alone.
  {
    auto store = UserDefaults::open(appGroupIdentifier);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->set("loaded @1", diagKey));
  }
  const std::filesystem::path folder = file("gallery");
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
  auto store = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->string(diagKey), "loaded @1");
  EXPECT_FALSE(store->string(todayKey));
}

// Goldens: the same scenario checks clean; a changed title fails, told in
// words, with a report and its diff picture; a pixel that differs alone is
// rendering noise unless pixels are held strictly; `--update` makes the
// check pass again.
TEST_F(DrawingCommands, ChecksSnapshotsAgainstGoldensInWordsThenInPixels) {
  const std::string scenario = file("busy.json");
  const auto publish = [&](std::string_view title) {
    const Json summary{
        {"tier", "urgent"},
        {"count", 2},
        {"items", {{{"title", title}, {"project", "Admin"}}, {{"title", "Call the plumber"}}}}};
    ASSERT_TRUE(writeFileAtomically(
        scenario, Json{{"summary", summary}, {"families", {"systemMedium"}}}.dump()));
  };
  const std::string goldens = file("goldens");
  const std::string name = "busy.BrisklaneWidget-systemMedium";
  const std::vector<std::string> check{"snapshot", scenario, "--check", goldens};
  publish("Renew passport");
  auto drawn = run({"snapshot", scenario, "-o", goldens});
  ASSERT_EQ(drawn.exitCode, 0) << drawn.err;
  EXPECT_EQ(pngSize(readFile(goldens + "/" + name + ".png").value_or("")),
            (std::pair<std::uint32_t, std::uint32_t>{1014, 474}));
  auto same = run(check);
  EXPECT_EQ(same.exitCode, 0) << same.out << same.err;
  EXPECT_EQ(same.out, "checked 1 snapshots: 0 differ, 0 with rendering noise only\n");

  publish("Renew passports");
  std::vector<std::string> reported = check;
  reported.insert(reported.end(), {"--report", file("report")});
  auto changed = run(reported);
  EXPECT_EQ(changed.exitCode, 1);
  const std::string line =
      "row 1: the text 'Renew passport  \u00b7  Admin' is now 'Renew passports  \u00b7  Admin'";
  EXPECT_NE(changed.out.find(name + ": differs ("), std::string::npos) << changed.out;
  EXPECT_NE(changed.out.find("\n  " + line + "\n"), std::string::npos) << changed.out;
  const std::string page = readFile(file("report/index.html")).value_or("");
  EXPECT_NE(page.find(line), std::string::npos);
  EXPECT_NE(page.find(name + ".diff.png"), std::string::npos);
  EXPECT_TRUE(decodePng(readFile(file("report/" + name + ".diff.png")).value_or("")));
  const Json report = Json::parse(readFile(file("report/report.json")).value_or("{}"));
  EXPECT_EQ(report["failing"], 1);
  EXPECT_EQ(report["snapshots"][0]["lines"][0], line);

  // One golden pixel off, far from any edge: noise, which passes unless strict.
  publish("Renew passport");
  const std::string goldenPicture = goldens + "/" + name + ".png";
  auto pixels = decodePng(readFile(goldenPicture).value_or(""));
  ASSERT_TRUE(pixels);
  pixels->pixels[std::size_t((pixels->height / 2) * pixels->width + 20) * 4] ^= 0xff;
  ASSERT_TRUE(writeFileAtomically(goldenPicture, encodePng(*pixels).value_or("")));
  auto noise = run(check);
  EXPECT_EQ(noise.exitCode, 0) << noise.out;
  EXPECT_NE(
      noise.out.find(name +
                     ": noise (1 pixels differ, 0 more by anti-aliasing; passes: rendering noise)"),
      std::string::npos)
      << noise.out;
  std::vector<std::string> strict = check;
  strict.push_back("--strict-pixels");
  EXPECT_EQ(run(strict).exitCode, 1);

  std::vector<std::string> update = check;
  update.push_back("--update");
  auto updated = run(update);
  EXPECT_EQ(updated.exitCode, 0);
  EXPECT_NE(updated.out.find("updated 1 goldens"), std::string::npos) << updated.out;
  EXPECT_EQ(run(strict).exitCode, 0);

  ASSERT_TRUE(writeFileAtomically(scenario, R"({"now": "yesterday"})"));
  auto bad = run(check);
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("busy.json: \"now\" must be a moment"), std::string::npos) << bad.err;
  EXPECT_EQ(run({"snapshot", "--check", goldens}).exitCode, 2) << "nothing to check";
  std::filesystem::create_directory(device_.root() / "other");
  const std::string namesake = (device_.root() / "other" / "busy.json").string();
  ASSERT_TRUE(writeFileAtomically(namesake, "{}"));
  auto twice = run({"snapshot", file("busy.json"), namesake, "-o", goldens});
  EXPECT_EQ(twice.exitCode, 2);
  EXPECT_NE(twice.err.find(namesake + ": another scenario file has the name busy"),
            std::string::npos)
      << twice.err;
}

// With no App running, the tap launches one as the phone's system does: in
// browser mode, on the device's web application (here the sample), with the
// link held for its page's first listener. The tap answers once App is up.
TEST_F(DrawingCommands, LaunchesAppWithTheTappedLinkForItsPagesFirstListener) {
  auto tap = run({"tap", "--kind", "BrisklaneVoiceWidget", "--x", "40", "--y", "40", "--open"});
  const auto waiting = nlohmann::json::parse(
      testing::readFile(device_.root() / "run" / "App-waiting-links.json").value_or(""), nullptr,
      false);
  const pid_t application =
      waiting.is_object() ? waiting.value("processIdentifier", pid_t{0}) : pid_t{0};
  if (application > 0) ::kill(application, SIGTERM);
  ASSERT_EQ(tap.exitCode, 0) << tap.err;
  EXPECT_EQ(tap.out, "brisklane://voice\n");
  ASSERT_GT(application, 0) << "no link waits in a launched App";
  EXPECT_EQ(waiting["urls"], nlohmann::json::array({"brisklane://voice"}));
  const auto setup = nlohmann::json::parse(
      testing::readFile(device_.root() / "run" / "App-launch.json").value_or(""), nullptr, false);
  EXPECT_EQ(setup.value("webLayer", ""), "browser");
  EXPECT_EQ(setup.value("processIdentifier", pid_t{0}), application);
}

}  // namespace
}  // namespace brisklane
