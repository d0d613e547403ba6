#include "platform/capacitor/browser_web_layer.h"

#include <atomic>

#include "platform/capacitor/browser_bridge_script.h"
#include "platform/device/application_launch.h"
#include "platform/device/device_folder.h"
#include "platform/dispatch/dispatch_queue.h"
#include "platform/os/files.h"
#include "platform/uikit/uikit.h"
#include "platform/web/loopback_server.h"

namespace brisklane {
namespace {

constexpr std::string_view bridgeSocketPath = "/_capacitor/bridge";
constexpr std::string_view javaScript = "text/javascript; charset=utf-8";

// One page: the bridge answers its calls through its WebSocket.
class PageConnection final : public WebLayerConnection {
 public:
  explicit PageConnection(std::shared_ptr<WebSocketPeer> peer) : peer_(std::move(peer)) {}
  void send(std::string message) override { peer_->send(std::move(message)); }
  [[nodiscard]] bool isOpen() const override { return peer_->isOpen(); }

 private:
  std::shared_ptr<WebSocketPeer> peer_;
};

// A fresh token for this run, written to `file` when it is named; empty
// when the system has no randomness to give.
std::string pageToken(const std::filesystem::path& file) {
  std::string token = makeToken();
  if (!file.empty() && !token.empty() && makeFolders(file.parent_path())) {
    // Unwritten, it still serves this run; the device's tools then cannot
    // open the page for the person.
    (void)writeFileAtomically(file, token + "\n");
  }
  return token;
}

// What a page opened alone says when its tab is hidden or shown again
// (browser_bridge.js), byte for byte as JSON.stringify writes it.
constexpr std::string_view pageHidden = R"({"type":"pageVisibility","hidden":true})";
constexpr std::string_view pageShown = R"({"type":"pageVisibility","hidden":false})";

// Moves the application as a page's visibility says; false for every other
// message, which is the bridge's.
bool movedByVisibility(std::string_view message) {
  if (message != pageHidden && message != pageShown) return false;
  if (ApplicationLifeCycle* lifeCycle = ApplicationLifeCycle::current()) {
    if (message == pageHidden) {
      lifeCycle->enterBackground();
    } else {
      lifeCycle->enterForeground();
    }
  }
  return true;
}

HttpResponse script(std::string body) {
  return HttpResponse{.status = 200,
                      .contentType = std::string(javaScript),
                      .body = std::move(body),
                      .headers = {}};
}

// The page's side of the bridge: each WebSocket is one page, whose messages
// go to the bridge while it lives.
WebSocketHandlers pageConnection(const std::weak_ptr<CAPBridge>& bridge,
                                 std::shared_ptr<WebSocketPeer> peer) {
  auto page = std::make_shared<PageConnection>(std::move(peer));
  return WebSocketHandlers{.onMessage =
                               [bridge, page](const std::string& message) {
                                 if (movedByVisibility(message)) return;
                                 if (auto target = bridge.lock()) target->receive(message, page);
                               },
                           .onClose = nullptr};
}

// The three scripts every page gets before its own: the browser's message
// handler, Capacitor's native bridge and the plug-ins' headers.
Status addBridgeScripts(LoopbackServerOptions& server, const std::weak_ptr<CAPBridge>& bridge,
                        const std::filesystem::path& nativeBridgeScript) {
  auto nativeBridge = readFile(nativeBridgeScript);
  if (!nativeBridge) {
    return Failure{"cannot read Capacitor's native bridge at " + nativeBridgeScript.string() +
                   " (run scripts/install-deps --browser, or name it with --native-bridge)"};
  }
  auto loaded = bridge.lock();
  if (!loaded) return Failure{"the bridge has gone"};
  std::string headers =
      "window.Capacitor.PluginHeaders = " + loaded->pluginHeaders().dump() + ";\n";
  server.headInsert = R"(<script src="/_capacitor/browser-bridge.js"></script>)"
                      R"(<script src="/_capacitor/native-bridge.js"></script>)"
                      R"(<script src="/_capacitor/plugin-headers.js"></script>)";
  server.resources.emplace("/_capacitor/browser-bridge.js",
                           script(std::string(browserBridgeScript)));
  server.resources.emplace("/_capacitor/native-bridge.js", script(std::move(*nativeBridge)));
  server.resources.emplace("/_capacitor/plugin-headers.js", script(std::move(headers)));
  return {};
}

}  // namespace

BrowserWebLayer::BrowserWebLayer(std::unique_ptr<LoopbackServer> server)
    : server_(std::move(server)) {}

BrowserWebLayer::~BrowserWebLayer() = default;

std::string BrowserWebLayer::url() const {
  return server_->url();
}

std::uint16_t BrowserWebLayer::port() const {
  return server_->port();
}

std::string framingPolicy(const std::optional<std::string>& homeScreenPageOrigin) {
  return "frame-ancestors 'self'" + (homeScreenPageOrigin ? " " + *homeScreenPageOrigin : "");
}

Result<std::unique_ptr<BrowserWebLayer>> BrowserWebLayer::start(
    const std::weak_ptr<CAPBridge>& bridge, const BrowserWebLayerOptions& options) {
  std::error_code error;
  if (!options.developmentServer &&
      !std::filesystem::is_regular_file(options.webDirectory / "index.html", error)) {
    return Failure{"no web application in " + options.webDirectory.string() + " (no index.html)"};
  }
  LoopbackServerOptions server;
  if (auto added = addBridgeScripts(server, bridge, options.nativeBridgeScript); !added) {
    return Failure{added.reason()};
  }
  server.port = options.port;
  server.hostName = options.hostName;
  server.token = pageToken(options.tokenFile);
  if (server.token.empty()) return Failure{"the system gave no randomness for the page's token"};
  if (options.developmentServer) {
    server.upstream = options.developmentServer;
  } else {
    server.documentRoot = options.webDirectory;
    server.clientRoutes = ClientRoutes::servedIndex;
  }
  // Read at every answer: the home screen may be served anew, on another
  // port, while App runs.
  server.contentSecurityPolicy = [](std::string_view) {
    return framingPolicy(readHomeScreenPageOrigin());
  };
  server.webSocketPath = std::string(bridgeSocketPath);
  server.onWebSocket = [bridge](std::shared_ptr<WebSocketPeer> peer) {
    return pageConnection(bridge, std::move(peer));
  };

  auto started = LoopbackServer::start(DispatchQueue::main().context(), std::move(server));
  if (!started) return Failure{started.reason()};
  return std::unique_ptr<BrowserWebLayer>(new BrowserWebLayer(*std::move(started)));
}

}  // namespace brisklane
