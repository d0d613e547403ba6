// The home-screen page: what the widget host serves a desktop browser with
// `serve --http`. The page (host/home_screen/, built into the program) shows
// the placed widgets on a phone-sized screen, each widget's timeline beside
// it, and the settings; it gets the host's state pushed over a WebSocket
// after every round and never polls.
//
// Routes, all behind the loopback server's token, Host and Origin checks:
//   GET  /, /home.js, /home.css        the page
//   GET  /pictures/ID/VERSION.png|svg  one version of a widget's picture
//   GET  /api/state                    the state the socket pushes
//   GET  /api/layout?widget=ID         what a widget's current picture shows
//                                      (layout_report.h), with its "version"
//   POST /api/tap        {"id","x","y"}            a tap (points from the widget's corner)
//   POST /api/reload                               reload all timelines
//   POST /api/clock      {"advanceMinutes":N} or {"reset":true}
//   POST /api/settings   the home screen's settings (home_screen_settings.h)
//   POST /api/application {"move":"background"|"foreground"}  going home, or the app's icon
//   POST /api/notification {"id"[,"actionId"[,"inputValue"]]}  a tap on a delivered
//                                      notification, or on one of its actions (with the text
//                                      typed for an action that takes text)
//   POST /api/notification-permission {"permission":"granted"|"denied"|"prompt"}
//                                      the device's setting for App's notifications, which
//                                      answers the permission alert when it is shown
//   GET  /app                          a redirect to the application's page
//   WebSocket /socket                  {"type":"state",...} after each round and change,
//                                      {"type":"opened","url","outcome"[,"detail"]} for
//                                      each step of a tapped URL (open_in_app.h),
//                                      {"type":"application","state","processIdentifier",
//                                      "page"} when the application came, went or moved,
//                                      {"type":"notifications",...} when the device's
//                                      notification centre changed (notification_delivery.h)
//
// Threading: everything runs on the event loop's thread, the owner's calls too.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "host/home/home_screen.h"
#include "host/home/home_screen_settings.h"
#include "host/render/geometry.h"
#include "platform/uikit/control_socket.h"
#include "platform/usernotifications/user_notification_center.h"
#include "platform/web/loopback_server.h"

namespace boost::asio {
class io_context;
}

namespace brisklane {

// What the page asks of the host.
class HomeScreenPageOwner {
 public:
  // The state message: {"type":"state", ...} as JSON text.
  [[nodiscard]] virtual std::string state() = 0;
  [[nodiscard]] virtual std::optional<Picture> picture(std::string_view id,
                                                       std::uint64_t version) = 0;
  // What widget `id` shows now, or why nothing.
  [[nodiscard]] virtual Result<nlohmann::ordered_json> layout(std::string_view id) = 0;
  // Opens the URL at `point` of widget `id`; the URL opened, or why none was.
  [[nodiscard]] virtual Result<std::string> tap(std::string_view id, Point point) = 0;
  // Sends the application home or brings it to the front (launching it when
  // it does not run); the state the page now shows, or why not.
  [[nodiscard]] virtual Result<std::string> moveApplication(LifeCycleMove move) = 0;
  // Hands the user's answer to a delivered notification (a tap on it, or
  // one of its actions) to the application, as the phone does; how it went
  // ("delivered", "launched"), or why not.
  [[nodiscard]] virtual Result<std::string> openNotification(const NotificationRequest& answer) = 0;
  // Sets the device's permission for the application's notifications, as
  // the user does in the permission alert or in the settings; whether that
  // answered an alert the application waited on, or why it could not be set.
  [[nodiscard]] virtual Result<bool> setNotificationPermission(
      NotificationPermission permission) = 0;
  virtual void reloadAllTimelines() = 0;
  virtual void moveClock(std::chrono::seconds offset) = 0;
  virtual void resetClock() = 0;
  // Saves and applies `settings`; why not, when they cannot be saved.
  [[nodiscard]] virtual Status changeSettings(const HomeScreenSettings& settings) = 0;
  // The application's page with its token; nothing when there is none.
  [[nodiscard]] virtual std::optional<std::string> applicationPageURL() = 0;

 protected:
  ~HomeScreenPageOwner() = default;
};

// The answer to one request that passed the server's checks; nothing for a
// path that is not one of the page's routes.
[[nodiscard]] std::optional<HttpResponse> answerHomeScreenRequest(HomeScreenPageOwner& owner,
                                                                  const HttpRequest& request);

class HomeScreenPage {
 public:
  // Serves the page on 127.0.0.1:`port` (0: any free port) with a fresh
  // token; or why it cannot.
  [[nodiscard]] static Result<std::unique_ptr<HomeScreenPage>> start(
      boost::asio::io_context& context, std::uint16_t port, HomeScreenPageOwner& owner);
  ~HomeScreenPage();
  HomeScreenPage(const HomeScreenPage&) = delete;
  HomeScreenPage& operator=(const HomeScreenPage&) = delete;

  // The address to open, the token included.
  [[nodiscard]] std::string url() const;

  // Sends `message` to every open page.
  void push(const std::string& message);

 private:
  HomeScreenPage() = default;
  // Greets a page that has just connected with `state` and keeps it until it
  // closes.
  WebSocketHandlers welcome(const std::shared_ptr<WebSocketPeer>& peer, const std::string& state);
  std::vector<std::shared_ptr<WebSocketPeer>> peers_;
  std::unique_ptr<LoopbackServer> server_;  // goes first: no callback runs after it
};

}  // namespace brisklane
