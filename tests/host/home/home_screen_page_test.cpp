// The home-screen page's routes, answered for requests that have passed the
// server's checks, against a host of the test's own that records what the
// page asked of it. What each route does for a page that asks well is the
// browser's home-screen test; here, what it refuses and passes on.
#include "host/home/home_screen_page.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace brisklane {
namespace {

// A host that has one PNG picture and no App page, cannot open a tap or
// keep settings, and records what it was asked.
class RecordingHost final : public HomeScreenPageOwner {
 public:
  std::string state() override { return "{}"; }
  std::optional<Picture> picture(std::string_view id, std::uint64_t version) override {
    if (id != "BrisklaneWidget-systemSmall" || version != 7) return std::nullopt;
    return Picture{.version = 7,
                   .format = PictureFormat::png,
                   .bytes = std::make_shared<const std::string>("\x89PNG bytes")};
  }
  Result<nlohmann::ordered_json> layout(std::string_view id) override {
    if (id != "BrisklaneWidget-systemSmall")
      return Failure{"no widget " + std::string(id) + " is placed"};
    return nlohmann::ordered_json{{"version", 7}};
  }
  Result<std::string> tap(std::string_view id, Point point) override {
    taps.emplace_back(id, point);
    return Failure{"nothing opens there"};
  }
  Result<std::string> moveApplication(LifeCycleMove move) override {
    moves.push_back(move);
    if (move == LifeCycleMove::background) return Failure{"App is not running"};
    return std::string("launching");
  }
  Result<std::string> openNotification(const NotificationRequest& answer) override {
    if (answer.id != 7) {
      return Failure{"no delivered notification has the id " + std::to_string(answer.id)};
    }
    answers.push_back(answer);
    return std::string("delivered");
  }
  Result<bool> setNotificationPermission(NotificationPermission permission) override {
    permissions.push_back(permission);
    return permission == NotificationPermission::granted;
  }
  void reloadAllTimelines() override { ++reloads; }
  void moveClock(std::chrono::seconds offset) override { clockMoves.push_back(offset); }
  void resetClock() override { ++clockResets; }
  Status changeSettings(const HomeScreenSettings& settings) override {
    changedSettings.push_back(settings);
    return Failure{"cannot save"};
  }
  std::optional<std::string> applicationPageURL() override { return std::nullopt; }

  std::vector<std::pair<std::string, Point>> taps;
  std::vector<LifeCycleMove> moves;
  int reloads = 0;
  std::vector<std::chrono::seconds> clockMoves;
  int clockResets = 0;
  std::vector<HomeScreenSettings> changedSettings;
  std::vector<NotificationPermission> permissions;
  std::vector<NotificationRequest> answers;
};

class HomeScreenPageRoutes : public ::testing::Test {
 protected:
  std::optional<HttpResponse> answer(std::string method, std::string path, std::string body = {},
                                     std::map<std::string, std::string> query = {}) {
    return answerHomeScreenRequest(host_, HttpRequest{.method = std::move(method),
                                                      .path = std::move(path),
                                                      .query = std::move(query),
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

// Status 0: the route is not the page's, and the server answers it.
TEST_F(HomeScreenPageRoutes, RefuseWhatIsNotAPictureOrAnActionBeforeTheHostSeesIt) {
  EXPECT_EQ(status("GET", "/pictures/BrisklaneWidget-systemSmall/6.png"), 404u);
  for (const char* path :
       {"/pictures/BrisklaneWidget-systemSmall/7.svg", "/pictures/BrisklaneWidget-systemSmall/7",
        "/pictures/7.png", "/pictures/BrisklaneWidget-systemSmall/-7.png",
        "/pictures/BrisklaneWidget-systemSmall/7x.png", "/index.html"}) {
    EXPECT_EQ(status("GET", path), 0u) << path;
  }
  EXPECT_EQ(status("POST", "/api/unknown"), 0u);
  EXPECT_EQ(answer("GET", "/api/layout")->status, 400u) << "no widget named";
  const auto unknown =
      answer("GET", "/api/layout", {}, {{"widget", "BrisklaneWidget-systemLarge"}});
  EXPECT_EQ(unknown->status, 404u);
  EXPECT_NE(unknown->body.find("no widget BrisklaneWidget-systemLarge is placed"),
            std::string::npos);
  const auto layout = answer("GET", "/api/layout", {}, {{"widget", "BrisklaneWidget-systemSmall"}});
  EXPECT_EQ(layout->status, 200u);
  EXPECT_EQ(layout->body, R"({"version":7})");
  EXPECT_EQ(status("GET", "/app"), 404u) << "no App page is kept";
  EXPECT_EQ(status("GET", "/api/tap"), 405u);
  EXPECT_EQ(status("GET", "/api/reload"), 405u);

  const std::pair<std::string, std::vector<std::string>> badBodies[] = {
      {"/api/tap",
       {"", "[]", R"({"id":"X","x":"1","y":0})", R"({"id":3,"x":1,"y":0})", R"({"x":1,"y":0})",
        R"({"id":"X","x":1})"}},
      {"/api/settings", {R"({"placements":[],"deviceClass":"1x1"})"}},
      {"/api/application",
       {"", R"({"move":"home"})", R"({"move":1})", R"({"state":"background"})"}},
      {"/api/notification",
       {"", R"({"id":"7"})", R"({"id":4294967296})", R"({"id":7.5})", R"({"id":7,"actionId":""})",
        R"({"id":7,"actionId":3})", R"({"id":7,"inputValue":"x"})",
        R"({"id":7,"actionId":"reply","inputValue":2})"}},
      {"/api/notification-permission", {"", R"({"permission":"allow"})", R"({"permission":true})"}},
      {"/api/clock",
       {R"({"advanceMinutes":1.5})", R"({"advanceMinutes":"30"})", R"({"advanceMinutes":600000})",
        R"({"reset":false})", "{}"}},
  };
  for (const auto& [path, bodies] : badBodies) {
    for (const std::string& body : bodies) EXPECT_EQ(status("POST", path, body), 400u) << body;
  }
  EXPECT_TRUE(host_.taps.empty());
  EXPECT_TRUE(host_.moves.empty());
  EXPECT_EQ(host_.reloads, 0);
  EXPECT_TRUE(host_.clockMoves.empty());
  EXPECT_EQ(host_.clockResets, 0);
  EXPECT_TRUE(host_.changedSettings.empty());
  EXPECT_TRUE(host_.permissions.empty());
  EXPECT_TRUE(host_.answers.empty());
}

TEST_F(HomeScreenPageRoutes, PassTheHostsRefusalsToThePageAndMoveTheClockBothWays) {
  auto nothing =
      answer("POST", "/api/tap", R"({"id":"BrisklaneWidget-systemSmall","x":12.5,"y":40})");
  ASSERT_TRUE(nothing);
  EXPECT_EQ(nothing->status, 404u);
  EXPECT_EQ(nlohmann::json::parse(nothing->body)["error"], "nothing opens there");
  EXPECT_EQ(
      host_.taps,
      (std::vector<std::pair<std::string, Point>>{{"BrisklaneWidget-systemSmall", {12.5, 40}}}));

  auto failed = answer(
      "POST", "/api/settings",
      R"({"placements":[{"kind":"BrisklaneWidget","family":"systemMedium"}],"deviceClass":"375x667","systemVersion":"16.4"})");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500u);
  EXPECT_EQ(nlohmann::json::parse(failed->body)["error"], "cannot save");

  EXPECT_EQ(status("POST", "/api/notification", R"({"id":8})"), 409u);
  auto opened = answer("POST", "/api/notification", R"({"id":7})");
  ASSERT_TRUE(opened);
  EXPECT_EQ(nlohmann::json::parse(opened->body)["outcome"], "delivered");
  EXPECT_EQ(status("POST", "/api/notification", R"({"id":7,"actionId":"reply","inputValue":"ok"})"),
            200u);
  EXPECT_EQ(host_.answers, (std::vector<NotificationRequest>{
                               {.id = 7, .actionIdentifier = "tap"},
                               {.id = 7, .actionIdentifier = "reply", .userText = "ok"}}));

  auto allowed = answer("POST", "/api/notification-permission", R"({"permission":"granted"})");
  ASSERT_TRUE(allowed);
  EXPECT_EQ(nlohmann::json::parse(allowed->body),
            nlohmann::json({{"permission", "granted"}, {"answeredAlert", true}}));
  EXPECT_EQ(status("POST", "/api/notification-permission", R"({"permission":"prompt"})"), 200u);
  EXPECT_EQ(host_.permissions,
            (std::vector<NotificationPermission>{NotificationPermission::granted,
                                                 NotificationPermission::prompt}));

  auto home = answer("POST", "/api/application", R"({"move":"background"})");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->status, 409u);
  EXPECT_EQ(nlohmann::json::parse(home->body)["error"], "App is not running");
  auto icon = answer("POST", "/api/application", R"({"move":"foreground"})");
  ASSERT_TRUE(icon);
  EXPECT_EQ(nlohmann::json::parse(icon->body)["state"], "launching");
  EXPECT_EQ(host_.moves,
            (std::vector<LifeCycleMove>{LifeCycleMove::background, LifeCycleMove::foreground}));

  EXPECT_EQ(status("POST", "/api/clock", R"({"advanceMinutes":-5})"), 200u);
  EXPECT_EQ(status("POST", "/api/clock", R"({"reset":true})"), 200u);
  EXPECT_EQ(host_.clockMoves, std::vector<std::chrono::seconds>{std::chrono::minutes(-5)});
  EXPECT_EQ(host_.clockResets, 1);
}

}  // namespace
}  // namespace brisklane
