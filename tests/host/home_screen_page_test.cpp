// The home-screen page's routes, answered for requests that have passed the
// server's checks, against a host of the test's own that records what the
// page asked of it.
#include "host/home_screen_page.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace brisklane {
namespace {

using Json = nlohmann::json;

class RecordingHost final : public HomeScreenPageOwner {
 public:
  std::string state() override { return R"({"type":"state","round":4})"; }
  std::optional<Picture> picture(std::string_view id, std::uint64_t version) override {
    if (id != "BrisklaneWidget-systemSmall" || version != 7) return std::nullopt;
    return Picture{.version = 7,
                   .format = PictureFormat::png,
                   .bytes = std::make_shared<const std::string>("\x89PNG bytes")};
  }
  Result<std::string> tap(std::string_view id, Point point) override {
    taps.emplace_back(id, point);
    if (point.x < 0) return Failure{"nothing opens there"};
    return std::string("brisklane://today");
  }
  void reloadAllTimelines() override { ++reloads; }
  void moveClock(std::chrono::seconds offset) override { clockMoves.push_back(offset); }
  void resetClock() override { ++clockResets; }
  Status changeSettings(const HomeScreenSettings& settings) override {
    changedSettings.push_back(settings);
    if (settingsProblem) return Failure{*settingsProblem};
    return {};
  }
  std::optional<std::string> applicationPageURL() override { return applicationPage; }

  std::vector<std::pair<std::string, Point>> taps;
  int reloads = 0;
  std::vector<std::chrono::seconds> clockMoves;
  int clockResets = 0;
  std::vector<HomeScreenSettings> changedSettings;
  std::optional<std::string> settingsProblem;
  std::optional<std::string> applicationPage;
};

class HomeScreenPageRoutes : public ::testing::Test {
 protected:
  std::optional<HttpResponse> answer(std::string method, std::string path, std::string body = {}) {
    return answerHomeScreenRequest(host_, HttpRequest{.method = std::move(method),
                                                      .path = std::move(path),
                                                      .query = {},
                                                      .body = std::move(body),
                                                      .contentType = "application/json"});
  }
  // The status of the answer, or 0 when the route is not the page's.
  unsigned status(std::string method, std::string path, std::string body = {}) {
    auto response = answer(std::move(method), std::move(path), std::move(body));
    return response ? response->status : 0;
  }
  RecordingHost host_;
};

TEST_F(HomeScreenPageRoutes, ServePicturesUnderTheirOwnVersionStateAndTheApplicationsPage) {
  auto picture = answer("GET", "/pictures/BrisklaneWidget-systemSmall/7.png");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200u);
  EXPECT_EQ(picture->contentType, "image/png");
  EXPECT_EQ(picture->body, "\x89PNG bytes");
  EXPECT_EQ(status("GET", "/pictures/BrisklaneWidget-systemSmall/6.png"), 404u);
  for (const char* path :
       {"/pictures/BrisklaneWidget-systemSmall/7.svg", "/pictures/BrisklaneWidget-systemSmall/7",
        "/pictures/7.png", "/pictures/BrisklaneWidget-systemSmall/-7.png",
        "/pictures/BrisklaneWidget-systemSmall/7x.png", "/index.html"}) {
    EXPECT_EQ(status("GET", path), 0u) << path;
  }
  EXPECT_EQ(status("POST", "/api/unknown"), 0u);
  EXPECT_EQ(answer("GET", "/api/state")->body, R"({"type":"state","round":4})");

  EXPECT_EQ(status("GET", "/app"), 404u);
  host_.applicationPage = "http://127.0.0.1:8100/?token=00112233445566778899aabbccddeeff";
  auto redirect = answer("GET", "/app");
  EXPECT_EQ(redirect->status, 303u);
  EXPECT_EQ(
      redirect->headers,
      (std::vector<std::pair<std::string, std::string>>{{"Location", *host_.applicationPage}}));
}

// What settings may say is the decoder's test; here, that the host sees only
// valid ones and its refusal reaches the page.
TEST_F(HomeScreenPageRoutes, TapsNeedAnIdAndAPointAndSettingsAreCheckedBeforeTheHostSeesThem) {
  auto opened =
      answer("POST", "/api/tap", R"({"id":"BrisklaneWidget-systemSmall","x":12.5,"y":40})");
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->status, 200u);
  EXPECT_EQ(Json::parse(opened->body), Json({{"url", "brisklane://today"}}));
  ASSERT_EQ(host_.taps.size(), 1u);
  EXPECT_EQ(host_.taps[0],
            (std::pair<std::string, Point>{"BrisklaneWidget-systemSmall", {12.5, 40}}));

  auto nothing = answer("POST", "/api/tap", R"({"id":"X","x":-1,"y":0})");
  EXPECT_EQ(nothing->status, 404u);
  EXPECT_EQ(Json::parse(nothing->body)["error"], "nothing opens there");

  for (const char* body : {"", "[]", R"({"id":"X","x":"1","y":0})", R"({"id":3,"x":1,"y":0})",
                           R"({"x":1,"y":0})", R"({"id":"X","x":1})"}) {
    EXPECT_EQ(status("POST", "/api/tap", body), 400u) << body;
  }
  EXPECT_EQ(host_.taps.size(), 2u);
  EXPECT_EQ(status("GET", "/api/tap"), 405u);

  EXPECT_EQ(status("POST", "/api/settings", R"({"placements":[],"deviceClass":"1x1"})"), 400u);
  EXPECT_TRUE(host_.changedSettings.empty());

  const std::string valid =
      R"({"placements":[{"kind":"BrisklaneWidget","family":"systemMedium"}],"deviceClass":"375x667","systemVersion":"16.4"})";
  EXPECT_EQ(status("POST", "/api/settings", valid), 200u);
  ASSERT_EQ(host_.changedSettings.size(), 1u);
  EXPECT_EQ(host_.changedSettings[0].systemVersion, (OperatingSystemVersion{16, 4, 0}));

  host_.settingsProblem = "cannot save";
  auto failed = answer("POST", "/api/settings", valid);
  EXPECT_EQ(failed->status, 500u);
  EXPECT_EQ(Json::parse(failed->body)["error"], "cannot save");
}

TEST_F(HomeScreenPageRoutes, ReloadOnAPostAndMoveTheClockByWholeMinutesWithinAYear) {
  EXPECT_EQ(status("POST", "/api/reload"), 200u);
  EXPECT_EQ(host_.reloads, 1);
  EXPECT_EQ(status("GET", "/api/reload"), 405u);

  EXPECT_EQ(status("POST", "/api/clock", R"({"advanceMinutes":30})"), 200u);
  EXPECT_EQ(status("POST", "/api/clock", R"({"advanceMinutes":-5})"), 200u);
  EXPECT_EQ(status("POST", "/api/clock", R"({"reset":true})"), 200u);
  EXPECT_EQ(host_.clockMoves, (std::vector<std::chrono::seconds>{std::chrono::minutes(30),
                                                                 std::chrono::minutes(-5)}));
  EXPECT_EQ(host_.clockResets, 1);
  for (const char* body : {R"({"advanceMinutes":1.5})", R"({"advanceMinutes":"30"})",
                           R"({"advanceMinutes":600000})", R"({"reset":false})", "{}"}) {
    EXPECT_EQ(status("POST", "/api/clock", body), 400u) << body;
  }
  EXPECT_EQ(host_.clockMoves.size(), 2u);
}

}  // namespace
}  // namespace brisklane
