#include "platform/uikit/control_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/foundation/user_defaults.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

constexpr int socketTimeoutSeconds = 2;

std::optional<sockaddr_un> socketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string& text = path.native();
  if (text.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return address;
}

void setTimeouts(int descriptor) {
  timeval timeout{.tv_sec = socketTimeoutSeconds, .tv_usec = 0};
  ::setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

bool writeAll(int descriptor, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::send(descriptor, text.data(), text.size(), MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// One line from `descriptor`, without its newline; nothing on error, timeout,
// or a line longer than `limit`. End of stream ends the line too.
std::optional<std::string> readLine(int descriptor, std::size_t limit) {
  std::string line;
  char buffer[4096];
  while (true) {
    ssize_t got = ::recv(descriptor, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return line.empty() ? std::nullopt : std::optional(line);
    std::string_view chunk(buffer, static_cast<size_t>(got));
    size_t end = chunk.find('\n');
    line.append(chunk.substr(0, end));
    if (line.size() > limit) return std::nullopt;
    if (end != std::string_view::npos) return line;
  }
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

std::variant<UIApplication::OpenURLOptions, std::string> decodeOptions(const Json& object) {
  UIApplication::OpenURLOptions options;
  if (!object.is_object()) return std::string("\"options\" must be an object");
  for (const auto& [name, value] : object.items()) {
    auto key = openURLOptionsKey(name);
    if (!key) return "unknown option \"" + name + "\"";
    if (*key == UIApplication::OpenURLOptionsKey::openInPlace) {
      if (!value.is_boolean()) return "\"" + name + "\" must be a Boolean";
      options[*key] = value.get<bool>();
    } else {
      if (!value.is_string()) return "\"" + name + "\" must be a string";
      options[*key] = value.get<std::string>();
    }
  }
  return options;
}

std::variant<SystemRequest, std::string> decodeRequestObject(const Json& document) {
  if (!document.is_object()) return std::string("a request must be a JSON object");
  if (auto found = document.find("openURL"); found != document.end()) {
    if (!found->is_string() || found->get_ref<const std::string&>().empty()) {
      return std::string("\"openURL\" must be a non-empty string");
    }
    OpenURLRequest request{.url = found->get<std::string>(), .options = {}};
    if (auto options = document.find("options"); options != document.end()) {
      auto decoded = decodeOptions(*options);
      if (auto* reason = std::get_if<std::string>(&decoded)) return *reason;
      request.options = std::move(std::get<UIApplication::OpenURLOptions>(decoded));
    }
    return request;
  }
  if (auto found = document.find("continueUserActivity"); found != document.end()) {
    if (!found->is_object()) return std::string("\"continueUserActivity\" must be an object");
    auto type = found->find("activityType");
    if (type == found->end() || !type->is_string() || type->get_ref<const std::string&>().empty()) {
      return std::string("\"activityType\" must be a non-empty string");
    }
    ContinueUserActivityRequest request{
        {.activityType = type->get<std::string>(), .webpageURL = {}}};
    if (auto page = found->find("webpageURL"); page != found->end()) {
      if (!page->is_string()) return std::string("\"webpageURL\" must be a string");
      request.userActivity.webpageURL = page->get<std::string>();
    }
    return request;
  }
  return std::string("a request needs \"openURL\" or \"continueUserActivity\"");
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
  } else {
    const auto& activity = std::get<ContinueUserActivityRequest>(request).userActivity;
    Json body{{"activityType", activity.activityType}};
    if (activity.webpageURL) body["webpageURL"] = *activity.webpageURL;
    document["continueUserActivity"] = body;
  }
  return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::variant<SystemRequest, std::string> decodeSystemRequest(std::string_view line) {
  if (line.size() > maximumSystemRequestBytes) return std::string("the request is too long");
  // The JSON reader would take a NUL byte for the end of the request.
  if (line.find('\0') != std::string_view::npos) return std::string("the request holds a NUL byte");
  try {
    Json document = Json::parse(line, nullptr, false);
    if (document.is_discarded()) return std::string("the request is not JSON");
    return decodeRequestObject(document);
  } catch (const Json::exception& error) {
    return std::string("the request cannot be read: ") + error.what();
  }
}

Delivery deliverToRunningApplication(const SystemRequest& request) {
  auto address = socketAddress(applicationControlSocketPath());
  // No application can listen on a path this long, so none runs there.
  if (!address) return {DeliveryOutcome::noApplication, "the control socket's path is too long"};
  int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return {DeliveryOutcome::failed, std::strerror(errno)};
  if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    ::close(descriptor);
    return {DeliveryOutcome::noApplication, {}};
  }
  setTimeouts(descriptor);
  Delivery delivery{DeliveryOutcome::failed, "the application did not answer"};
  if (writeAll(descriptor, encodeSystemRequest(request) + "\n")) {
    ::shutdown(descriptor, SHUT_WR);
    if (auto reply = readLine(descriptor, maximumSystemRequestBytes)) {
      Json answer = Json::parse(*reply, nullptr, false);
      auto accepted = answer.is_object() ? answer.find("accepted") : answer.end();
      if (answer.is_object() && accepted != answer.end() && accepted->is_boolean() &&
          accepted->get<bool>()) {
        delivery = {DeliveryOutcome::accepted, {}};
      } else if (answer.is_object() && answer.contains("error") && answer["error"].is_string()) {
        delivery.detail = answer["error"].get<std::string>();
      }
    }
  }
  ::close(descriptor);
  return delivery;
}

std::unique_ptr<ApplicationInstanceLock> ApplicationInstanceLock::acquire(std::string& error) {
  std::filesystem::path path = applicationLockPath();
  if (!makeFolders(path.parent_path())) {
    error = "cannot create " + path.parent_path().string();
    return nullptr;
  }
  int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor < 0) {
    error = "cannot open " + path.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK
                ? "another App is running on this device (" + deviceRoot().string() + ")"
                : "cannot lock " + path.string() + ": " + std::strerror(errno);
    ::close(descriptor);
    return nullptr;
  }
  return std::unique_ptr<ApplicationInstanceLock>(new ApplicationInstanceLock(descriptor));
}

ApplicationInstanceLock::~ApplicationInstanceLock() {
  ::close(descriptor_);
}

std::unique_ptr<ControlSocketServer> ControlSocketServer::start(Handler handler,
                                                                std::string& error) {
  std::filesystem::path path = applicationControlSocketPath();
  auto address = socketAddress(path);
  if (!address) {
    error = "the control socket's path is too long: " + path.string();
    return nullptr;
  }
  if (!makeFolders(path.parent_path())) {
    error = "cannot create " + path.parent_path().string();
    return nullptr;
  }
  int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int wakeup = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listener < 0 || wakeup < 0) {
    error = std::string("cannot create the control socket: ") + std::strerror(errno);
    if (listener >= 0) ::close(listener);
    if (wakeup >= 0) ::close(wakeup);
    return nullptr;
  }
  ::unlink(path.c_str());  // left by an application that ended without cleaning up
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(listener, 8) != 0) {
    error = "cannot listen on " + path.string() + ": " + std::strerror(errno);
    ::close(listener);
    ::close(wakeup);
    return nullptr;
  }
  return std::unique_ptr<ControlSocketServer>(
      new ControlSocketServer(listener, wakeup, std::move(path), std::move(handler)));
}

ControlSocketServer::ControlSocketServer(int listener, int wakeup, std::filesystem::path path,
                                         Handler handler)
    : listener_(listener), wakeup_(wakeup), path_(std::move(path)), handler_(std::move(handler)) {
  thread_ = std::thread([this] { serve(); });
}

ControlSocketServer::~ControlSocketServer() {
  std::uint64_t one = 1;
  (void)::write(wakeup_, &one, sizeof one);
  thread_.join();
  ::unlink(path_.c_str());
  ::close(listener_);
  ::close(wakeup_);
}

void ControlSocketServer::serve() {
  while (true) {
    pollfd watched[2] = {{.fd = listener_, .events = POLLIN, .revents = 0},
                         {.fd = wakeup_, .events = POLLIN, .revents = 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    if (watched[0].revents == 0) continue;
    int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    answer(connection);
    ::close(connection);
  }
}

void ControlSocketServer::answer(int connection) {
  setTimeouts(connection);
  auto line = readLine(connection, maximumSystemRequestBytes);
  if (!line) {
    (void)writeAll(connection, R"({"accepted":false,"error":"no request line"})"
                               "\n");
    return;
  }
  auto decoded = decodeSystemRequest(*line);
  if (auto* reason = std::get_if<std::string>(&decoded)) {
    Json reply{{"accepted", false}, {"error", *reason}};
    (void)writeAll(connection, reply.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
    return;
  }
  handler_(std::move(std::get<SystemRequest>(decoded)));
  (void)writeAll(connection, R"({"accepted":true})"
                             "\n");
}

}  // namespace brisklane
