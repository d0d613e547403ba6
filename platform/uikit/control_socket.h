// How the operating system reaches a running application: its control
// socket, a Unix stream socket at `$BRISKLANE_HOME/run/App.sock`, and the
// instance lock `$BRISKLANE_HOME/run/App.lock` that the running application
// holds so that a device has one application at a time.
//
// Protocol: one request per connection. The client writes one JSON object on
// one line, at most `maximumSystemRequestBytes` long:
//   {"openURL":"brisklane://today","options":{"UIApplicationOpenURLOptionsSourceApplicationKey":"com.example.Mail"}}
//   {"continueUserActivity":{"activityType":"NSUserActivityTypeBrowsingWeb","webpageURL":"https://example.com/x"}}
// ("options" and "webpageURL" may be left out; option values are strings,
// "UIApplicationOpenURLOptionsOpenInPlaceKey" a Boolean). The application
// answers one line, {"accepted":true} once the request is queued for the main
// thread, or {"accepted":false,"error":"..."} when it cannot be read, and
// closes the connection.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/foundation/file_descriptor.h"
#include "platform/foundation/result.h"
#include "platform/uikit/uikit.h"

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

using SystemRequest = std::variant<OpenURLRequest, ContinueUserActivityRequest>;

inline constexpr std::size_t maximumSystemRequestBytes = std::size_t{64} * 1024;

[[nodiscard]] std::filesystem::path applicationControlSocketPath();
[[nodiscard]] std::filesystem::path applicationLockPath();

[[nodiscard]] std::string encodeSystemRequest(const SystemRequest& request);
// The request on `line` (without its newline), or why it is not one.
Result<SystemRequest> decodeSystemRequest(std::string_view line);

// The client's side: hands `request` to the running application.
enum class DeliveryOutcome { accepted, noApplication, failed };
struct Delivery {
  DeliveryOutcome outcome;
  std::string detail;  // why, when not accepted
};
[[nodiscard]] Delivery deliverToRunningApplication(const SystemRequest& request);

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
// and passes each well-formed request to `handler` there.
class ControlSocketServer {
 public:
  using Handler = std::function<void(SystemRequest)>;

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
