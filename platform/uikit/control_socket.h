// How the operating system reaches a running application: its control
// socket, a Unix stream socket at `$BRISKLANE_HOME/run/App.sock`, and the
// instance lock `$BRISKLANE_HOME/run/App.lock` that the running application
// holds so that a device has one application at a time.
//
// Protocol: one request per connection. The client writes one JSON object on
// one line, at most `maximumSystemRequestBytes` long:
//   {"openURL":"brisklane://today","options":{"UIApplicationOpenURLOptionsSourceApplicationKey":"com.example.Mail"}}
//   {"continueUserActivity":{"activityType":"NSUserActivityTypeBrowsingWeb","webpageURL":"https://example.com/x"}}
//   {"lifeCycle":"background"}   {"lifeCycle":"foreground"}   {"query":"applicationState"}
//   {"notification":{"id":7}}   {"notification":{"id":7,"actionIdentifier":"tap"}}
//   {"notification":{"id":7,"actionIdentifier":"reply","userText":"at six","foreground":false}}
//   {"notificationPermission":"granted"}
// ("options" and "webpageURL" may be left out; option values are strings,
// "UIApplicationOpenURLOptionsOpenInPlaceKey" a Boolean). The application
// serves the request on its main thread and answers one line,
//   {"accepted":true,"applicationState":"active","processIdentifier":4242}
// once its delegate has taken it (a URL opened while the application is in
// the background brings it to the front first, as on the phone), or
// {"accepted":false,"error":"...",...} when it cannot be read or was declined,
// and closes the connection.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "base/result.h"
#include "platform/os/file_descriptor.h"
#include "platform/uikit/uikit.h"
#include "platform/usernotifications/user_notification_center.h"

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace brisklane {

struct OpenURLRequest {
  std::string url;
  UIApplication::OpenURLOptions options;

  friend bool operator==(const OpenURLRequest&, const OpenURLRequest&) = default;
};

struct ContinueUserActivityRequest {
  NSUserActivity userActivity;

  friend bool operator==(const ContinueUserActivityRequest&,
                         const ContinueUserActivityRequest&) = default;
};

// Moves the application to the front or the background, as a person who
// goes home or comes back does: {"lifeCycle":"background"} or
// {"lifeCycle":"foreground"}.
enum class LifeCycleMove { background, foreground };
template <>
inline constexpr auto enumNames<LifeCycleMove> =
    namesThrough<LifeCycleMove::foreground>({"background", "foreground"});

struct LifeCycleRequest {
  LifeCycleMove move;

  friend bool operator==(const LifeCycleRequest&, const LifeCycleRequest&) = default;
};

// Asks only how the application is: {"query":"applicationState"}.
struct ApplicationStateQuery {
  friend bool operator==(const ApplicationStateQuery&, const ApplicationStateQuery&) = default;
};

// One of the application's delivered notifications: presented to it while
// it is in front ({"notification":{"id":7}}), or answered by the user ("tap"
// for a tap on the notification itself, else the action's identifier, with
// the text the user typed for an action that takes text). An answer brings
// the application to the front first, as a URL does, unless the action is
// one that leaves it where it is ("foreground": false). Declined when the
// device has delivered no notification of that id.
struct NotificationRequest {
  std::int32_t id = 0;
  std::string actionIdentifier;         // empty: presented, not answered
  std::optional<std::string> userText;  // typed for an action that takes text
  bool foreground = true;               // an answer brings the application to the front

  friend bool operator==(const NotificationRequest&, const NotificationRequest&) = default;
};

// The user's answer to the system's alert asking to allow the application's
// notifications ({"notificationPermission":"granted"} or "denied"), already
// kept in the device's notification centre: the application's requests
// waiting for it complete.
struct NotificationPermissionAnswer {
  NotificationPermission answer = NotificationPermission::granted;

  friend bool operator==(const NotificationPermissionAnswer&,
                         const NotificationPermissionAnswer&) = default;
};

using SystemRequest =
    std::variant<OpenURLRequest, ContinueUserActivityRequest, LifeCycleRequest,
                 ApplicationStateQuery, NotificationRequest, NotificationPermissionAnswer>;

// The application's answer to a request it could read: whether it took the
// request (a URL or an activity its delegate answered true for), and its
// state once the request was served.
struct SystemAnswer {
  bool accepted = false;
  std::string error;  // why not, when not accepted
  UIApplication::State applicationState = UIApplication::State::active;
};

inline constexpr std::size_t maximumSystemRequestBytes = std::size_t{64} * 1024;

[[nodiscard]] std::filesystem::path applicationControlSocketPath();
[[nodiscard]] std::filesystem::path applicationLockPath();

[[nodiscard]] std::string encodeSystemRequest(const SystemRequest& request);
// The request on `line` (without its newline), or why it is not one.
Result<SystemRequest> decodeSystemRequest(std::string_view line);

// The running application as it answered a request: its process, and its
// state once the request was served.
struct RunningApplication {
  pid_t processIdentifier = 0;
  UIApplication::State applicationState = UIApplication::State::active;
};

// The client's side: hands `request` to the running application. Nothing
// when none runs (no socket answers); why, when it declined the request or
// did not answer; else the application that served it.
[[nodiscard]] std::optional<Result<RunningApplication>> deliverToRunningApplication(
    const SystemRequest& request);

// The lock that makes this process the device's running application; held
// while the value lives.
class ApplicationInstanceLock {
 public:
  // Why not, when another application holds it or it cannot be taken.
  static Result<std::unique_ptr<ApplicationInstanceLock>> acquire();
  ApplicationInstanceLock(const ApplicationInstanceLock&) = delete;
  ApplicationInstanceLock& operator=(const ApplicationInstanceLock&) = delete;

 private:
  explicit ApplicationInstanceLock(FileDescriptor descriptor)
      : descriptor_(std::move(descriptor)) {}
  FileDescriptor descriptor_;  // the locked file; the lock goes when it closes
};

// The application's side: accepts connections on the event loop it is given
// and passes each well-formed request to `handler` there, answering what it
// answers.
class ControlSocketServer {
 public:
  // Serves one request on the event loop's thread and says how it went.
  using Handler = std::function<SystemAnswer(const SystemRequest&)>;

  // Binds the socket (replacing a stale file left by an application that is
  // gone; the caller holds the instance lock) and starts serving; or why it
  // cannot.
  static Result<std::unique_ptr<ControlSocketServer>> start(boost::asio::io_context& context,
                                                            Handler handler);
  // Stops serving, ends the connections still open and removes the socket
  // file. The handler is not called afterwards.
  ~ControlSocketServer();
  ControlSocketServer(const ControlSocketServer&) = delete;
  ControlSocketServer& operator=(const ControlSocketServer&) = delete;

 private:
  class Listener;
  explicit ControlSocketServer(std::shared_ptr<Listener> listener)
      : listener_(std::move(listener)) {}
  std::shared_ptr<Listener> listener_;
};

}  // namespace brisklane
