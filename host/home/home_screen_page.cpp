#include "host/home/home_screen_page.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "host/home/page/home.css.h"
#include "host/home/page/home.js.h"
#include "host/home/page/index.html.h"
#include "platform/device/application_launch.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view jsonType = "application/json";
constexpr std::string_view socketPath = "/socket";
constexpr std::string_view picturesPrefix = "/pictures/";
constexpr std::chrono::minutes largestClockMove{60 * 24 * 366};

HttpResponse resource(std::string_view contentType, std::string_view body) {
  return HttpResponse{.status = 200,
                      .contentType = std::string(contentType),
                      .body = std::string(body),
                      .headers = {}};
}

HttpResponse jsonResponse(unsigned status, const Json& body) {
  return HttpResponse{.status = status,
                      .contentType = std::string(jsonType),
                      .body = body.dump(-1, ' ', false, Json::error_handler_t::replace),
                      .headers = {}};
}

HttpResponse problem(unsigned status, std::string_view why) {
  return jsonResponse(status, Json{{"error", why}});
}

// The body of a change: a JSON object, or nothing.
std::optional<nlohmann::json> objectBody(const HttpRequest& request) {
  auto body = nlohmann::json::parse(request.body, nullptr, /*allow_exceptions=*/false);
  if (body.is_discarded() || !body.is_object()) return std::nullopt;
  return body;
}

// "/pictures/ID/VERSION.EXT": the picture, or nothing when the path is not one.
std::optional<HttpResponse> pictureResponse(HomeScreenPageOwner& owner, std::string_view path) {
  path.remove_prefix(picturesPrefix.size());
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (slash == std::string_view::npos || dot == std::string_view::npos || dot < slash) {
    return std::nullopt;
  }
  const std::string_view id = path.substr(0, slash);
  const std::string_view versionText = path.substr(slash + 1, dot - slash - 1);
  const std::string_view extension = path.substr(dot);
  std::uint64_t version = 0;
  auto [end, error] =
      std::from_chars(versionText.data(), versionText.data() + versionText.size(), version);
  if (error != std::errc{} || end != versionText.data() + versionText.size()) return std::nullopt;
  const auto picture = owner.picture(id, version);
  if (!picture)
    return problem(404, "no such picture: it has been replaced twice since, or never was");
  const bool svg = picture->format == PictureFormat::svg;
  if (extension != (svg ? ".svg" : ".png")) return std::nullopt;
  return HttpResponse{.status = 200,
                      .contentType = svg ? "image/svg+xml" : "image/png",
                      .body = {},
                      .headers = {},
                      .sharedBody = picture->bytes};
}

HttpResponse layoutResponse(HomeScreenPageOwner& owner, const HttpRequest& request) {
  const auto widget = request.query.find("widget");
  if (widget == request.query.end()) return problem(400, "name the widget: ?widget=ID");
  const auto layout = owner.layout(widget->second);
  if (!layout) return problem(404, layout.reason());
  return jsonResponse(200, *layout);
}

HttpResponse tapResponse(HomeScreenPageOwner& owner, const HttpRequest& request) {
  const auto body = objectBody(request);
  if (!body || !body->contains("id") || !(*body)["id"].is_string() || !body->contains("x") ||
      !(*body)["x"].is_number() || !body->contains("y") || !(*body)["y"].is_number()) {
    return problem(400, "a tap is {\"id\": string, \"x\": number, \"y\": number}");
  }
  const Result<std::string> url =
      owner.tap((*body)["id"].get<std::string>(),
                Point{.x = (*body)["x"].get<double>(), .y = (*body)["y"].get<double>()});
  if (!url) return problem(404, url.reason());
  return jsonResponse(200, Json{{"url", *url}});
}

HttpResponse applicationResponse(HomeScreenPageOwner& owner, const HttpRequest& request) {
  const auto body = objectBody(request);
  const auto move = body && body->contains("move") && (*body)["move"].is_string()
                        ? named<LifeCycleMove>((*body)["move"].get<std::string>())
                        : std::nullopt;
  if (!move) return problem(400, "a move is {\"move\": \"background\" or \"foreground\"}");
  const Result<std::string> state = owner.moveApplication(*move);
  if (!state) return problem(409, state.reason());
  return jsonResponse(200, Json{{"state", *state}});
}

HttpResponse notificationResponse(HomeScreenPageOwner& owner, const HttpRequest& request) {
  const auto body = objectBody(request);
  const auto id = body && body->contains("id") && (*body)["id"].is_number_integer()
                      ? std::optional<std::int64_t>((*body)["id"].get<std::int64_t>())
                      : std::nullopt;
  const auto text = [&](const char* key) {
    return body && body->contains(key) && (*body)[key].is_string()
               ? std::optional<std::string>((*body)[key].get<std::string>())
               : std::nullopt;
  };
  const auto action = text("actionId");
  const auto input = text("inputValue");
  if (!id || *id != static_cast<std::int32_t>(*id) ||
      (body->contains("actionId") && (!action || action->empty())) ||
      (body->contains("inputValue") && (!input || !action))) {
    return problem(400,
                   "a tap on a notification is {\"id\": a whole number within 32 bits}, with "
                   "\"actionId\" for one of its actions and \"inputValue\" for the text typed");
  }
  const Result<std::string> outcome =
      owner.openNotification(NotificationRequest{.id = static_cast<std::int32_t>(*id),
                                                 .actionIdentifier = action.value_or("tap"),
                                                 .userText = input});
  if (!outcome) return problem(409, outcome.reason());
  return jsonResponse(200, Json{{"outcome", *outcome}});
}

HttpResponse notificationPermissionResponse(HomeScreenPageOwner& owner,
                                            const HttpRequest& request) {
  const auto body = objectBody(request);
  const auto permission =
      body && body->contains("permission") && (*body)["permission"].is_string()
          ? named<NotificationPermission>((*body)["permission"].get<std::string>())
          : std::nullopt;
  if (!permission) {
    return problem(400, R"(the permission is {"permission": "granted", "denied" or "prompt"})");
  }
  const Result<bool> answered = owner.setNotificationPermission(*permission);
  if (!answered) return problem(500, answered.reason());
  return jsonResponse(200, Json{{"permission", name(*permission)}, {"answeredAlert", *answered}});
}

HttpResponse clockResponse(HomeScreenPageOwner& owner, const HttpRequest& request) {
  const auto body = objectBody(request);
  if (body && body->contains("reset") && (*body)["reset"] == true) {
    owner.resetClock();
    return jsonResponse(200, Json::object());
  }
  if (body && body->contains("advanceMinutes") && (*body)["advanceMinutes"].is_number_integer()) {
    const auto minutes = (*body)["advanceMinutes"].get<std::int64_t>();
    if (minutes >= -largestClockMove.count() && minutes <= largestClockMove.count()) {
      owner.moveClock(std::chrono::minutes(minutes));
      return jsonResponse(200, Json::object());
    }
  }
  return problem(400,
                 "the clock takes {\"advanceMinutes\": whole minutes within a year} or "
                 "{\"reset\": true}");
}

HttpResponse settingsResponse(HomeScreenPageOwner& owner, const HttpRequest& request) {
  const auto decoded = decodeHomeScreenSettings(request.body);
  if (!decoded) return problem(400, decoded.reason());
  if (const Status changed = owner.changeSettings(*decoded); !changed) {
    return problem(500, changed.reason());
  }
  return jsonResponse(200, Json::object());
}

HttpResponse applicationRedirect(HomeScreenPageOwner& owner) {
  const auto url = owner.applicationPageURL();
  if (!url) {
    return HttpResponse{.status = 404,
                        .contentType = "text/plain; charset=utf-8",
                        .body =
                            "App has not served its page on this device yet: start it with "
                            "`App --web-layer browser`, or tap a widget.\n",
                        .headers = {}};
  }
  return HttpResponse{
      .status = 303, .contentType = {}, .body = {}, .headers = {{"Location", *url}}};
}

}  // namespace

std::optional<HttpResponse> answerHomeScreenRequest(HomeScreenPageOwner& owner,
                                                    const HttpRequest& request) {
  const std::string_view path = request.path;
  const bool read = request.method == "GET" || request.method == "HEAD";
  const bool change = request.method == "POST";
  if (read && path.starts_with(picturesPrefix)) return pictureResponse(owner, path);
  if (read && path == "/api/state") {
    return HttpResponse{
        .status = 200, .contentType = std::string(jsonType), .body = owner.state(), .headers = {}};
  }
  if (read && path == "/api/layout") return layoutResponse(owner, request);
  if (read && path == "/app") return applicationRedirect(owner);
  if (!path.starts_with("/api/")) return std::nullopt;
  if (!change) return problem(405, "the page's actions take POST");
  if (path == "/api/tap") return tapResponse(owner, request);
  if (path == "/api/reload") {
    owner.reloadAllTimelines();
    return jsonResponse(200, Json::object());
  }
  if (path == "/api/clock") return clockResponse(owner, request);
  if (path == "/api/application") return applicationResponse(owner, request);
  if (path == "/api/notification") return notificationResponse(owner, request);
  if (path == "/api/notification-permission") return notificationPermissionResponse(owner, request);
  if (path == "/api/settings") return settingsResponse(owner, request);
  return std::nullopt;
}

namespace {

// What the page serves, from where, under which policy: everything but the
// routes that need its owner.
Result<LoopbackServerOptions> pageOptions(std::uint16_t port) {
  LoopbackServerOptions options;
  options.port = port;
  auto hostName = devicePageHostName("home");
  auto applicationHost = devicePageHostName("app");
  if (!hostName || !applicationHost) {
    return Failure{hostName ? applicationHost.reason() : hostName.reason()};
  }
  options.hostName = *hostName;
  // The page frames App's web view. Its policy is fixed when the page
  // loads, and App may come up afterwards on any port (a fresh device's
  // first tap, an App started by hand): so App's host name on any port,
  // while App's own frame-ancestors lets this page alone frame it.
  options.contentSecurityPolicy = [frameSource =
                                       "http://" + *applicationHost + ":*"](std::string_view host) {
    return strictContentSecurityPolicy(host, frameSource);
  };
  options.token = makeToken();
  if (options.token.empty()) return Failure{"the system gave no randomness for the token"};
  options.resources.emplace("/", resource("text/html; charset=utf-8", homeScreenHtml));
  options.resources.emplace("/home.js",
                            resource("text/javascript; charset=utf-8", homeScreenScript));
  options.resources.emplace("/home.css", resource("text/css; charset=utf-8", homeScreenStyle));
  options.webSocketPath = std::string(socketPath);
  return options;
}

}  // namespace

Result<std::unique_ptr<HomeScreenPage>> HomeScreenPage::start(boost::asio::io_context& context,
                                                              std::uint16_t port,
                                                              HomeScreenPageOwner& owner) {
  auto options = pageOptions(port);
  if (!options) return Failure{options.reason()};
  std::unique_ptr<HomeScreenPage> page(new HomeScreenPage());
  options->onRequest = [&owner](const HttpRequest& request) {
    return answerHomeScreenRequest(owner, request);
  };
  options->onWebSocket = [self = page.get(), &owner](const std::shared_ptr<WebSocketPeer>& peer) {
    return self->welcome(peer, owner.state());
  };
  auto started = LoopbackServer::start(context, std::move(options).value());
  if (!started) return Failure{started.reason()};
  page->server_ = std::move(started).value();
  // App's pages let this page alone frame them.
  if (auto recorded = recordHomeScreenPage(page->server_->origin()); !recorded) {
    return Failure{"cannot record the page's address: " + recorded.reason()};
  }
  return page;
}

WebSocketHandlers HomeScreenPage::welcome(const std::shared_ptr<WebSocketPeer>& peer,
                                          const std::string& state) {
  peer->send(state);
  peers_.push_back(peer);
  return WebSocketHandlers{
      .onMessage = nullptr,
      .onClose =
          [this, weak = std::weak_ptr<WebSocketPeer>(peer)] {
            auto closed = weak.lock();
            std::erase_if(
                peers_, [&closed](const auto& open) { return open == closed || !open->isOpen(); });
          },
  };
}

HomeScreenPage::~HomeScreenPage() = default;

std::string HomeScreenPage::url() const {
  return server_->url();
}

void HomeScreenPage::push(const std::string& message) {
  std::erase_if(peers_, [](const auto& peer) { return !peer->isOpen(); });
  for (const auto& peer : peers_) peer->send(message);
}

}  // namespace brisklane
