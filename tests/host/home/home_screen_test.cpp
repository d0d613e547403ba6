// The host's home screen: which providers a round asks, which pictures it
// draws again, what the manifest says and what a tap finds, on a fresh device
// under a clock the test moves, drawing on two threads as `serve` does.
#include "host/home/home_screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include "diagnosis/doctor.h"
#include "platform/device/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "platform/os/system_faults.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

std::atomic<Date::Clock::rep> clockTicks{0};
Date testNow() {
  return Date{Date::Clock::time_point(Date::Clock::duration(clockTicks.load()))};
}
const Date startMoment = *Date::fromIso8601("2026-12-07T18:00:00Z");

const Json* widgetOf(const Json& manifest, std::string_view id) {
  for (const Json& widget : manifest["widgets"]) {
    if (widget["id"] == id) return &widget;
  }
  ADD_FAILURE() << "no widget " << id << " in " << manifest.dump();
  return nullptr;
}

class HomeScreenRounds : public ::testing::Test {
 protected:
  void SetUp() override {
    setTime(startMoment);
    setClock(&testNow);
    ASSERT_TRUE(makeFolders(folder()));
  }
  void TearDown() override {
    setClock(nullptr);
    setOperatingSystemVersion(defaultOperatingSystemVersion);
  }

  static void setTime(Date moment) { clockTicks.store(moment.instant.time_since_epoch().count()); }
  static void advance(std::chrono::minutes minutes) { setTime(Date{testNow().instant + minutes}); }

  HomeScreen& screen(const std::optional<HomeScreenSettings>& settings = std::nullopt) {
    screen_ = std::make_unique<HomeScreen>(widgets_, settings.value_or(defaultHomeScreen(widgets_)),
                                           PictureFormat::png, folder(), pool_,
                                           missingSummaryVerdict, problems_);
    return *screen_;
  }

  static void publish(std::string_view summary) {
    ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)->set(summary, todayKey));
  }

  std::filesystem::path folder() const { return device_.root() / "widgets"; }

  testing::TemporaryDevice device_;
  std::vector<WidgetConfiguration> widgets_ = BrisklaneWidgetBundle{}.body();
  DrawingPool pool_{1};
  std::ostringstream problems_;
  std::unique_ptr<HomeScreen> screen_;
};

// The verdict's wording is the doctor's test; here, that each round carries it.
TEST_F(HomeScreenRounds, ShowEveryWidgetFindTapsRedrawOnlyWhatChangedAndAskTodayAtItsMoment) {
  publish(R"({"count":"three","items":[]})");
  const Json& manifest = screen().runRound(RoundReason::start);

  ASSERT_EQ(manifest["widgets"].size(), 5u);
  for (const Json& widget : manifest["widgets"]) {
    EXPECT_FALSE(widget.contains("error")) << widget;
    EXPECT_EQ(widget["pictureVersion"], 1) << widget;
    EXPECT_EQ(widget["drawn"], true) << widget;
    EXPECT_EQ(widget["timelineRound"], 1) << widget;
    const auto bytes = testing::readFile(widget["picture"].get<std::string>());
    ASSERT_TRUE(bytes) << widget;
    EXPECT_EQ(*screen_->picture(widget["id"].get<std::string>(), 1)->bytes, *bytes);
  }
  const Json* today = widgetOf(manifest, "BrisklaneWidget-systemMedium");
  ASSERT_TRUE(today);
  EXPECT_EQ((*today)["nextReload"], (*today)["policy"]["date"]);
  EXPECT_EQ((*today)["entry"]["payload"], nullptr);
  EXPECT_EQ((*today)["missingSummary"]["shown"], "App can't share data");
  EXPECT_TRUE((*today)["missingSummary"]["verdict"].get<std::string>().starts_with(
      "not healthy: today: count: expected a whole number"))
      << *today;
  const Json& voice = *widgetOf(manifest, "BrisklaneVoiceWidget-systemSmall");
  EXPECT_EQ(voice["nextReload"], nullptr);
  EXPECT_FALSE(voice.contains("missingSummary"));
  EXPECT_EQ(Json::parse(*testing::readFile(folder() / "manifest.json")), manifest);
  EXPECT_EQ(problems_.str(), "");

  // Where a widget opens its link is the drawing's test (WidgetTaps).
  HomeScreen& home = *screen_;
  EXPECT_EQ(home.tap("BrisklaneVoiceWidget-accessoryCircular", Point{1, 1}).reason(),
            "nothing opens at (1, 1) of BrisklaneVoiceWidget-accessoryCircular");
  EXPECT_EQ(home.tap("Nothing-systemSmall", Point{1, 1}).reason(),
            "no widget Nothing-systemSmall is placed");

  // A published summary redraws only the Today pictures (which the browser's
  // home-screen test sees change).
  const auto quickAdd = folder() / "BrisklaneVoiceWidget-systemSmall.png";
  const auto quickAddBefore = std::filesystem::last_write_time(quickAdd);

  publish(R"({"tier":"urgent","count":2,"items":[{"title":"Renew passport"}]})");
  const Json& published = screen_->runRound(RoundReason::reloadAllTimelines);
  for (const Json& widget : published["widgets"]) {
    const bool isToday = widget["kind"] == "BrisklaneWidget";
    EXPECT_EQ(widget["timelineRound"], 2) << "every timeline is asked for again: " << widget;
    EXPECT_EQ(widget["drawn"], isToday) << widget;
    EXPECT_EQ(widget["pictureVersion"], isToday ? 2 : 1) << widget;
  }
  EXPECT_EQ(std::filesystem::last_write_time(quickAdd), quickAddBefore)
      << "the Quick-add picture was rewritten";

  // The same summary again changes no view: nothing is drawn.
  publish(R"({"tier":"urgent","count":2,"items":[{"title":"Renew passport"}]})");
  for (const Json& widget : screen_->runRound(RoundReason::reloadAllTimelines)["widgets"]) {
    EXPECT_EQ(widget["drawn"], false) << widget;
  }

  // What the current picture shows, read from its layout.
  const auto layout = screen_->layout("BrisklaneWidget-systemSmall");
  ASSERT_TRUE(layout);
  EXPECT_EQ((*layout)["version"], 2);
  EXPECT_EQ((*layout)["texts"][3]["region"], "row 1");
  EXPECT_EQ((*layout)["texts"][3]["text"], "Renew passport");
  EXPECT_FALSE(screen_->layout("BrisklaneWidget-accessoryInline")) << "not placed";

  // The picture before the current one is kept, and no older one.
  const std::string id = "BrisklaneWidget-systemSmall";
  EXPECT_TRUE(screen_->picture(id, 1));
  EXPECT_FALSE(screen_->picture(id, 3));
  EXPECT_FALSE(screen_->picture("BrisklaneWidget-accessoryInline", 1)) << "not placed";
  publish(R"({"count":3,"items":[]})");
  screen_->runRound(RoundReason::reloadAllTimelines);
  EXPECT_FALSE(screen_->picture(id, 1));
  EXPECT_TRUE(screen_->picture(id, 2));
  EXPECT_TRUE(screen_->picture(id, 4)) << "drawn by the fourth round";
  EXPECT_TRUE(screen_->picture("BrisklaneVoiceWidget-systemSmall", 1)) << "never redrawn";

  // The Today timeline asks again after 30 minutes; then only it is asked.
  advance(31min);
  ASSERT_EQ(screen_->schedule().dueAt(testNow()), RoundReason::reloadMoment);
  const Json& moved = screen_->runRound(RoundReason::reloadMoment);
  for (const Json& widget : moved["widgets"]) {
    EXPECT_EQ(widget["timelineRound"], widget["kind"] == "BrisklaneWidget" ? 5 : 4) << widget;
  }
  EXPECT_EQ(moved["nextMoment"], "2026-12-07T19:01:00.000Z");
}

TEST_F(HomeScreenRounds, SaysWhyAPlacementCannotBeDrawnOrWrittenAndRedrawsOnNewSettings) {
  std::filesystem::remove_all(folder());
  HomeScreen& home = screen(
      HomeScreenSettings{.placements = {{.kind = "Removed", .family = "systemSmall"},
                                        {.kind = "BrisklaneVoiceWidget", .family = "systemMedium"},
                                        {.kind = "BrisklaneWidget", .family = "systemSmall"}},
                         .deviceClass = "393x852",
                         .systemVersion = defaultOperatingSystemVersion});
  const Json& manifest = home.runRound(RoundReason::start);

  EXPECT_EQ(manifest["widgets"][0]["error"], "no widget of kind 'Removed' is installed");
  EXPECT_EQ(manifest["widgets"][1]["error"],
            "BrisklaneVoiceWidget is not offered in the family 'systemMedium'; its families are: "
            "accessoryCircular, accessoryInline, systemSmall");
  EXPECT_FALSE(manifest["widgets"][1].contains("pictureVersion"));
  EXPECT_FALSE(manifest["widgets"][2].contains("error"));
  EXPECT_EQ(home.tap("Removed-systemSmall", Point{10, 10}).reason(),
            "the widget Removed-systemSmall is not drawn");
  // A picture it cannot write is reported and kept in memory.
  EXPECT_EQ(manifest["widgets"][2]["pictureVersion"], 1);
  EXPECT_NE(problems_.str().find("error: cannot write the picture of BrisklaneWidget-systemSmall"),
            std::string::npos)
      << problems_.str();
  EXPECT_NE(problems_.str().find("manifest.json"), std::string::npos);

  // New settings ask the new placements and redraw the kept one at its new size.
  home.setSettings(HomeScreenSettings{
      .placements = {{.kind = "BrisklaneVoiceWidget", .family = "accessoryInline"},
                     {.kind = "BrisklaneWidget", .family = "systemSmall"}},
      .deviceClass = "430x932",
      .systemVersion = {16, 4, 0}});
  EXPECT_EQ(operatingSystemVersion(), (OperatingSystemVersion{16, 4, 0}));
  const Json& changed = home.runRound(RoundReason::settings);
  ASSERT_EQ(changed["widgets"].size(), 2u);
  EXPECT_EQ(changed["widgets"][0]["id"], "BrisklaneVoiceWidget-accessoryInline");
  EXPECT_EQ(changed["widgets"][0]["timelineRound"], 2);
  EXPECT_EQ(changed["widgets"][1]["timelineRound"], 1) << "a kept placement keeps its timeline";
  EXPECT_EQ(changed["widgets"][1]["drawn"], true) << "the device class changed its size";
  EXPECT_EQ(changed["systemVersion"], "16.4.0");

  // A picture that cannot be renamed into place leaves the last whole one.
  ASSERT_TRUE(makeFolders(folder()));
  const auto picture = folder() / "BrisklaneWidget-systemSmall.png";
  publish(R"({"count":1,"items":[]})");
  home.runRound(RoundReason::reloadAllTimelines);
  const auto whole = testing::readFile(picture);
  ASSERT_TRUE(whole);
  problems_.str("");
  testing::SystemFaultInjection fault(testing::SystemFault::rename);
  publish(R"({"count":2,"items":[]})");
  EXPECT_EQ(home.runRound(RoundReason::reloadAllTimelines)["widgets"][1]["drawn"], true);
  EXPECT_EQ(testing::readFile(picture), whole);
  EXPECT_NE(problems_.str().find("error: cannot write the picture of BrisklaneWidget-systemSmall"),
            std::string::npos)
      << problems_.str();
  for (const auto& entry : std::filesystem::directory_iterator(folder())) {
    EXPECT_EQ(entry.path().string().find(".partial-"), std::string::npos) << entry.path();
  }
}

// A widget of the test's own whose timeline holds entries for later moments;
// the home screen asks widgets only for timelines.
WidgetConfiguration laterEntriesWidget(std::atomic<int>& timelinesAsked, bool answersEntries) {
  return WidgetConfiguration{
      .kind = "Later",
      .supportedFamilies = {WidgetFamily::systemSmall},
      .getTimeline =
          [&timelinesAsked, answersEntries](const TimelineProviderContext&,
                                            Completion<Timeline<AnyEntry>> completion) {
            ++timelinesAsked;
            Timeline<AnyEntry> timeline{.entries = {}, .policy = TimelineReloadPolicy::never()};
            if (answersEntries) {
              for (int minutes : {0, 10, 20}) {
                timeline.entries.push_back(
                    AnyEntry{.date = Date{Date::now().instant + std::chrono::minutes(minutes)},
                             .value = minutes});
              }
            }
            std::move(completion)(std::move(timeline));
          },
      .content = [](const AnyEntry& entry) -> View {
        return Text::verbatim(std::to_string(std::any_cast<int>(entry.value)) + " minutes");
      },
  };
}

// When each entry's date comes is the schedule's test (LaterEntriesBecomeCurrentAtTheirDates).
TEST_F(HomeScreenRounds, ShowsEachEntryWhenItsDateComesAndReportsAProviderWithoutEntries) {
  std::atomic<int> asked{0};
  widgets_ = {laterEntriesWidget(asked, true)};
  HomeScreen& home = screen();
  Json manifest = home.runRound(RoundReason::start);
  EXPECT_EQ(manifest["widgets"][0]["entryIndex"], 0);
  EXPECT_EQ(manifest["widgets"][0]["entryCount"], 3);

  advance(10min);
  ASSERT_EQ(home.schedule().dueAt(testNow()), RoundReason::entryDate);
  manifest = home.runRound(RoundReason::entryDate);
  EXPECT_EQ(manifest["widgets"][0]["entryIndex"], 1);
  EXPECT_EQ(manifest["widgets"][0]["drawn"], true);
  EXPECT_EQ(asked, 1);

  advance(30min);
  EXPECT_EQ(home.runRound(RoundReason::entryDate)["widgets"][0]["entryIndex"], 2);

  widgets_ = {laterEntriesWidget(asked, false)};
  manifest = screen().runRound(RoundReason::start);
  EXPECT_EQ(manifest["widgets"][0]["error"], "the provider answered no entry");
  EXPECT_FALSE(manifest["widgets"][0].contains("pictureVersion"));
}

}  // namespace
}  // namespace brisklane
