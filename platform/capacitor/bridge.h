// The Capacitor bridge: it keeps the registered plug-ins by their JavaScript
// names, turns each call message of a web layer into a `CAPPluginCall` for
// the named plug-in's method, and sends the settlement back to that web
// layer. It also holds the web view (WebKit's `WKWebView`), which may be
// absent.
//
// The bridge lives on the main thread: transports hand it messages through
// the main queue, and plug-in methods run there. Settlements may come from
// any thread; the web layer's connection takes care of that.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/capacitor/bridge_message.h"
#include "platform/capacitor/plugin.h"

namespace brisklane {

// The web view that shows the web application. Touched on the main thread
// only.
class WKWebView {
 public:
  bool isInspectable = false;  // whether a desktop inspector may attach
};

class CAPBridge : public std::enable_shared_from_this<CAPBridge> {
 public:
  // Receives one line for each message the bridge could not act on, and
  // what is logged.
  using Diagnostics = std::function<void(std::string_view)>;

  [[nodiscard]] static std::shared_ptr<CAPBridge> make(std::shared_ptr<WKWebView> webView,
                                                       Diagnostics diagnostics);

  [[nodiscard]] std::shared_ptr<WKWebView> webView() const { return webView_; }

  // Constructs the plug-in with this bridge, its class name as identifier and
  // name, keeps it under its `jsName` and runs its `load`. A second plug-in
  // under a name already taken is not kept.
  void registerPluginType(const CAPPluginType& type);
  [[nodiscard]] std::shared_ptr<CAPPlugin> plugin(std::string_view jsName) const;

  // What the page's runtime is told of the registered plug-ins
  // (`Capacitor.PluginHeaders`): one {"name","methods":[{"name","rtype"}]} for
  // each, its own methods after those every plug-in has; "rtype" is left out
  // for methods that return nothing.
  [[nodiscard]] JSObject pluginHeaders() const;

  // One message from a web layer; whatever answers it goes to `webLayer`.
  // The page's uncaught errors are logged.
  void receive(std::string_view message, const std::shared_ptr<WebLayerConnection>& webLayer);

  // One line for the developer: the bridge's diagnostics and what plug-ins
  // such as the console report.
  void log(std::string_view text) const;

 private:
  struct RegisteredPlugin {
    std::shared_ptr<CAPPlugin> instance;
    CAPBridgedPlugin* description;  // the same object, as it describes itself
  };

  CAPBridge(std::shared_ptr<WKWebView> webView, Diagnostics diagnostics)
      : webView_(std::move(webView)), diagnostics_(std::move(diagnostics)) {}
  void dispatch(PluginCallMessage message, std::shared_ptr<WebLayerConnection> webLayer);

  std::shared_ptr<WKWebView> webView_;
  Diagnostics diagnostics_;
  std::map<std::string, RegisteredPlugin, std::less<>> plugins_;
};

}  // namespace brisklane
