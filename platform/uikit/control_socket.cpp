#include "platform/uikit/control_socket.h"

#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/device/device_folder.h"
#include "platform/os/files.h"
#include "platform/os/unix_sockets.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

namespace asio = boost::asio;
using asio::local::stream_protocol;
using ErrorCode = boost::system::error_code;

// How long either side waits for the other before giving up on a request.
constexpr auto requestTimeout = std::chrono::seconds(2);
// How long the listener waits after a failed accept before it tries again: out
// of descriptors, accept fails at once for as long as the connection waits.
constexpr auto acceptRetryDelay = std::chrono::milliseconds(100);

// The endpoint of a socket file; nothing when the path is too long for one.
std::optional<stream_protocol::endpoint> socketEndpoint(const std::filesystem::path& path) {
  if (!fitsSocketAddress(path)) return std::nullopt;
  return stream_protocol::endpoint(path.native());
}

// The first line of `text`, without its newline; the whole text when it has
// none (the peer ended the stream instead).
std::string firstLine(std::string text) {
  if (size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
  return text;
}

Json optionsJson(const UIApplication::OpenURLOptions& options) {
  Json object = Json::object();
  for (const auto& [key, value] : options) {
    std::string name(rawValue(key));
    if (const auto* text = std::get_if<std::string>(&value)) {
      object[name] = *text;
    } else {
      object[name] = std::get<bool>(value);
    }
  }
  return object;
}

Result<UIApplication::OpenURLOptions> decodeOptions(const Json& object) {
  UIApplication::OpenURLOptions options;
  if (!object.is_object()) return Failure{"\"options\" must be an object"};
  for (const auto& [name, value] : object.items()) {
    auto key = openURLOptionsKey(name);
    if (!key) return Failure{"unknown option \"" + name + "\""};
    if (*key == UIApplication::OpenURLOptionsKey::openInPlace) {
      if (!value.is_boolean()) return Failure{"\"" + name + "\" must be a Boolean"};
      options[*key] = value.get<bool>();
    } else {
      if (!value.is_string()) return Failure{"\"" + name + "\" must be a string"};
      options[*key] = value.get<std::string>();
    }
  }
  return options;
}

Result<SystemRequest> decodeNotificationRequest(const Json& body) {
  if (!body.is_object()) return Failure{"\"notification\" must be an object"};
  auto id = body.find("id");
  if (id == body.end() || !id->is_number_integer() ||
      id->get<std::int64_t>() < std::numeric_limits<std::int32_t>::min() ||
      id->get<std::int64_t>() > std::numeric_limits<std::int32_t>::max() ||
      (id->is_number_unsigned() &&
       id->get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max())) {
    return Failure{"\"id\" must be a whole number within 32 bits"};
  }
  NotificationRequest request{.id = id->get<std::int32_t>()};
  if (auto action = body.find("actionIdentifier"); action != body.end()) {
    if (!action->is_string() || action->get_ref<const std::string&>().empty()) {
      return Failure{"\"actionIdentifier\" must be a non-empty string"};
    }
    request.actionIdentifier = action->get<std::string>();
  }
  if (auto text = body.find("userText"); text != body.end()) {
    if (!text->is_string() || request.actionIdentifier.empty()) {
      return Failure{"\"userText\" must be a string, with an \"actionIdentifier\""};
    }
    request.userText = text->get<std::string>();
  }
  if (auto front = body.find("foreground"); front != body.end()) {
    if (!front->is_boolean()) return Failure{"\"foreground\" must be a Boolean"};
    request.foreground = front->get<bool>();
  }
  return SystemRequest(std::move(request));
}

Result<SystemRequest> decodePermissionAnswer(const Json& body) {
  const auto answer =
      body.is_string() ? named<NotificationPermission>(body.get<std::string>()) : std::nullopt;
  if (!answer || *answer == NotificationPermission::prompt) {
    return Failure{"\"notificationPermission\" must be \"granted\" or \"denied\""};
  }
  return SystemRequest(NotificationPermissionAnswer{.answer = *answer});
}

Result<SystemRequest> decodeRequestObject(const Json& document) {
  if (!document.is_object()) return Failure{"a request must be a JSON object"};
  if (auto found = document.find("openURL"); found != document.end()) {
    if (!found->is_string() || found->get_ref<const std::string&>().empty()) {
      return Failure{"\"openURL\" must be a non-empty string"};
    }
    SystemRequest request = OpenURLRequest{.url = found->get<std::string>(), .options = {}};
    if (auto options = document.find("options"); options != document.end()) {
      auto decoded = decodeOptions(*options);
      if (!decoded) return Failure{decoded.reason()};
      std::get<OpenURLRequest>(request).options = *std::move(decoded);
    }
    return request;
  }
  if (auto found = document.find("continueUserActivity"); found != document.end()) {
    if (!found->is_object()) return Failure{"\"continueUserActivity\" must be an object"};
    auto type = found->find("activityType");
    if (type == found->end() || !type->is_string() || type->get_ref<const std::string&>().empty()) {
      return Failure{"\"activityType\" must be a non-empty string"};
    }
    ContinueUserActivityRequest request{
        {.activityType = type->get<std::string>(), .webpageURL = {}}};
    if (auto page = found->find("webpageURL"); page != found->end()) {
      if (!page->is_string()) return Failure{"\"webpageURL\" must be a string"};
      request.userActivity.webpageURL = page->get<std::string>();
    }
    return SystemRequest(std::move(request));
  }
  if (auto found = document.find("lifeCycle"); found != document.end()) {
    const auto move =
        found->is_string() ? named<LifeCycleMove>(found->get<std::string>()) : std::nullopt;
    if (!move) return Failure{"\"lifeCycle\" must be \"background\" or \"foreground\""};
    return SystemRequest(LifeCycleRequest{.move = *move});
  }
  if (auto found = document.find("query"); found != document.end()) {
    if (*found != "applicationState") return Failure{"\"query\" must be \"applicationState\""};
    return SystemRequest(ApplicationStateQuery{});
  }
  if (auto found = document.find("notification"); found != document.end()) {
    return decodeNotificationRequest(*found);
  }
  if (auto found = document.find("notificationPermission"); found != document.end()) {
    return decodePermissionAnswer(*found);
  }
  return Failure{
      "a request needs \"openURL\", \"continueUserActivity\", \"lifeCycle\", \"query\", "
      "\"notification\" or \"notificationPermission\""};
}

}  // namespace

std::filesystem::path applicationControlSocketPath() {
  return deviceRoot() / "run" / "App.sock";
}
std::filesystem::path applicationLockPath() {
  return deviceRoot() / "run" / "App.lock";
}

std::string encodeSystemRequest(const SystemRequest& request) {
  Json document;
  if (const auto* open = std::get_if<OpenURLRequest>(&request)) {
    document["openURL"] = open->url;
    if (!open->options.empty()) document["options"] = optionsJson(open->options);
  } else if (const auto* resume = std::get_if<ContinueUserActivityRequest>(&request)) {
    const auto& activity = resume->userActivity;
    Json body{{"activityType", activity.activityType}};
    if (activity.webpageURL) body["webpageURL"] = *activity.webpageURL;
    document["continueUserActivity"] = body;
  } else if (const auto* move = std::get_if<LifeCycleRequest>(&request)) {
    document["lifeCycle"] = name(move->move);
  } else if (const auto* notification = std::get_if<NotificationRequest>(&request)) {
    Json body{{"id", notification->id}};
    if (!notification->actionIdentifier.empty()) {
      body["actionIdentifier"] = notification->actionIdentifier;
    }
    if (notification->userText) body["userText"] = *notification->userText;
    if (!notification->foreground) body["foreground"] = false;
    document["notification"] = body;
  } else if (const auto* permission = std::get_if<NotificationPermissionAnswer>(&request)) {
    document["notificationPermission"] = name(permission->answer);
  } else {
    document["query"] = "applicationState";
  }
  return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Result<SystemRequest> decodeSystemRequest(std::string_view line) {
  if (line.size() > maximumSystemRequestBytes) return Failure{"the request is too long"};
  // The JSON reader would take a NUL byte for the end of the request.
  if (line.find('\0') != std::string_view::npos) return Failure{"the request holds a NUL byte"};
  try {
    Json document = Json::parse(line, nullptr, false);
    if (document.is_discarded()) return Failure{"the request is not JSON"};
    return decodeRequestObject(document);
  } catch (const Json::exception& error) {
    return Failure{std::string("the request cannot be read: ") + error.what()};
  }
}

std::optional<Result<RunningApplication>> deliverToRunningApplication(
    const SystemRequest& request) {
  auto endpoint = socketEndpoint(applicationControlSocketPath());
  // No application can listen on a path this long, so none runs there.
  if (!endpoint) return std::nullopt;
  asio::io_context context(1);
  stream_protocol::socket socket(context);
  ErrorCode error;
  socket.connect(*endpoint, error);
  if (error) return std::nullopt;

  std::string message = encodeSystemRequest(request) + "\n";
  std::string reply;
  asio::async_write(socket, asio::buffer(message), [&](ErrorCode written, std::size_t) {
    if (written) return;
    socket.shutdown(stream_protocol::socket::shutdown_send, written);
    asio::async_read_until(socket, asio::dynamic_buffer(reply, maximumSystemRequestBytes), '\n',
                           [](ErrorCode, std::size_t) {});
  });
  context.run_for(requestTimeout);

  using Answer = Result<RunningApplication>;
  Json answer = Json::parse(firstLine(std::move(reply)), nullptr, false);
  if (!answer.is_object()) return Answer(Failure{"the application did not answer"});
  if (auto accepted = answer.find("accepted");
      accepted == answer.end() || !accepted->is_boolean() || !accepted->get<bool>()) {
    auto reason = answer.find("error");
    return Answer(Failure{reason != answer.end() && reason->is_string()
                              ? reason->get<std::string>()
                              : std::string("the application did not answer")});
  }
  RunningApplication running;
  if (auto state = answer.find("applicationState"); state != answer.end() && state->is_string()) {
    running.applicationState = named<UIApplication::State>(state->get<std::string>())
                                   .value_or(UIApplication::State::active);
  }
  if (auto process = answer.find("processIdentifier");
      process != answer.end() && process->is_number_integer()) {
    running.processIdentifier = process->get<pid_t>();
  }
  return Answer(running);
}

Result<std::unique_ptr<ApplicationInstanceLock>> ApplicationInstanceLock::acquire() {
  std::filesystem::path path = applicationLockPath();
  if (!makeFolders(path.parent_path())) {
    return Failure{"cannot create " + path.parent_path().string()};
  }
  auto locked = lockFile(path);
  if (!locked) {
    return Failure{locked.reason().error == EWOULDBLOCK
                       ? "another App is running on this device (" + deviceRoot().string() + ")"
                       : locked.reason().message};
  }
  return std::unique_ptr<ApplicationInstanceLock>(
      new ApplicationInstanceLock(std::move(locked).value()));
}

// The listening socket and the connections it serves, all on one event loop.
// Each connection reads one line within `requestTimeout`, answers it and
// closes; several may be open at once.
class ControlSocketServer::Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(asio::io_context& context, std::filesystem::path path, Handler handler)
      : acceptor_(context),
        acceptRetry_(context),
        path_(std::move(path)),
        handler_(std::move(handler)) {}

  // Binds the socket, taking over a file left by an application that ended
  // uncleanly.
  Status listen() {
    auto bound = listenOnStreamSocket(path_, 8);
    if (!bound) return Failure{bound.reason().message};
    ErrorCode failure;
    acceptor_.assign(stream_protocol(), bound->descriptor.get(), failure);
    if (failure) return Failure{"cannot listen on " + path_.string() + ": " + failure.message()};
    static_cast<void>(bound->descriptor.release());  // the acceptor owns it now
    file_ = std::move(bound->file);
    return {};
  }

  void accept() {
    acceptor_.async_accept(
        [self = shared_from_this()](ErrorCode error, stream_protocol::socket socket) {
          if (!self->acceptor_.is_open()) return;
          if (error) return self->acceptLater();
          self->serve(std::make_shared<Connection>(std::move(socket)));
          self->accept();
        });
  }

  void stop() {
    ErrorCode ignored;
    acceptor_.close(ignored);
    acceptRetry_.cancel();
    for (const auto& connection : open_) connection->close();
    open_.clear();
    file_.remove();
  }

 private:
  struct Connection {
    explicit Connection(stream_protocol::socket accepted)
        : socket(std::move(accepted)), deadline(socket.get_executor()) {}
    void close() {
      ErrorCode ignored;
      socket.close(ignored);
      deadline.cancel();
    }
    stream_protocol::socket socket;
    asio::steady_timer deadline;
    std::string received;
    std::string reply;
  };

  void serve(const std::shared_ptr<Connection>& connection) {
    open_.insert(connection);
    connection->deadline.expires_after(requestTimeout);
    connection->deadline.async_wait([connection](ErrorCode error) {
      if (!error) connection->close();
    });
    asio::async_read_until(
        connection->socket,
        asio::dynamic_buffer(connection->received, maximumSystemRequestBytes + 1), '\n',
        [self = shared_from_this(), connection](ErrorCode error, std::size_t) {
          if (!connection->socket.is_open()) return self->forget(connection);
          // The end of the stream ends the line too; anything else is no line.
          bool complete = !error || (error == asio::error::eof && !connection->received.empty());
          self->answer(connection, complete
                                       ? std::optional(firstLine(std::move(connection->received)))
                                       : std::nullopt);
        });
  }

  void answer(const std::shared_ptr<Connection>& connection,
              const std::optional<std::string>& line) {
    Json reply;
    if (!line) {
      reply = {{"accepted", false}, {"error", "no request line"}};
    } else if (auto decoded = decodeSystemRequest(*line); !decoded) {
      reply = {{"accepted", false}, {"error", decoded.reason()}};
    } else {
      const SystemAnswer answered = handler_(*decoded);
      reply = {{"accepted", answered.accepted}};
      if (!answered.accepted) reply["error"] = answered.error;
      reply["applicationState"] = name(answered.applicationState);
      reply["processIdentifier"] = ::getpid();
    }
    connection->reply = reply.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    asio::async_write(connection->socket, asio::buffer(connection->reply),
                      [self = shared_from_this(), connection](ErrorCode, std::size_t) {
                        connection->close();
                        self->forget(connection);
                      });
  }

  void forget(const std::shared_ptr<Connection>& connection) { open_.erase(connection); }

  void acceptLater() {
    acceptRetry_.expires_after(acceptRetryDelay);
    acceptRetry_.async_wait([self = shared_from_this()](ErrorCode error) {
      if (!error && self->acceptor_.is_open()) self->accept();
    });
  }

  stream_protocol::acceptor acceptor_;
  asio::steady_timer acceptRetry_;  // after a failed accept, such as too many open files
  std::filesystem::path path_;
  SocketFile file_;  // while it listens
  Handler handler_;
  std::set<std::shared_ptr<Connection>> open_;
};

Result<std::unique_ptr<ControlSocketServer>> ControlSocketServer::start(asio::io_context& context,
                                                                        Handler handler) {
  std::filesystem::path path = applicationControlSocketPath();
  if (!fitsSocketAddress(path)) {
    return Failure{"the control socket's path is too long: " + path.string()};
  }
  if (!makeFolders(path.parent_path())) {
    return Failure{"cannot create " + path.parent_path().string()};
  }
  auto listener = std::make_shared<Listener>(context, path, std::move(handler));
  if (auto listening = listener->listen(); !listening) {
    return Failure{listening.reason()};
  }
  listener->accept();
  return std::unique_ptr<ControlSocketServer>(new ControlSocketServer(std::move(listener)));
}

ControlSocketServer::~ControlSocketServer() {
  listener_->stop();
}

}  // namespace brisklane
