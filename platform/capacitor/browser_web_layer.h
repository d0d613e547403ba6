// A web layer in a desktop browser: the application serves its web
// application's folder (any built Capacitor web application) on the
// loopback address, and every page that opens it becomes a web view of its
// own, talking to the bridge over one WebSocket in Capacitor's native-bridge
// messages.
//
// Each HTML page gets, before any script of its own, what the phone's web
// view injects at document start: the `window.Capacitor` globals and the
// message handler (`browser_bridge.js`), the unchanged `native-bridge.js` of
// Capacitor's iOS package, and `window.Capacitor.PluginHeaders` for the
// plug-ins the bridge has registered. The page's unchanged Capacitor runtime
// then believes it runs on the phone.
//
// As on the phone, App puts no Content-Security-Policy of its own on the
// pages (their own <meta> policy applies, as there): only `frame-ancestors`,
// so that no page but the device's home-screen page may frame them. A path
// with no file and no extension is the application's own route and gets
// index.html, as the phone's asset handler answers it. With a development
// server, its pages are served at App's origin instead of the folder's.
//
// Lives on the main queue's event loop, like the bridge.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/result.h"
#include "platform/capacitor/bridge.h"
#include "platform/web/loopback_origin.h"

namespace brisklane {

class LoopbackServer;

struct BrowserWebLayerOptions {
  std::uint16_t port = 0;                    // 0: any free port
  std::filesystem::path webDirectory;        // the built web application
  std::filesystem::path nativeBridgeScript;  // Capacitor's native-bridge.js
  std::string hostName = "127.0.0.1";        // the pages' host name (LoopbackServerOptions)
  // Where this run's token is written (mode 0600), for the device's tools
  // that open the page; empty: nowhere. Every run has a token of its own,
  // so that one taken from an earlier run opens nothing.
  std::filesystem::path tokenFile;
  // Followed instead of serving webDirectory (Capacitor's server.url).
  std::optional<LoopbackOrigin> developmentServer;
};

// The policy of App's pages: framed by themselves and by the page at
// `homeScreenPageOrigin` alone.
[[nodiscard]] std::string framingPolicy(const std::optional<std::string>& homeScreenPageOrigin);

class BrowserWebLayer {
 public:
  // Serves the web application; or why it cannot.
  static Result<std::unique_ptr<BrowserWebLayer>> start(const std::weak_ptr<CAPBridge>& bridge,
                                                        const BrowserWebLayerOptions& options);
  // Closes every page's connection; their calls settle into nothing.
  ~BrowserWebLayer();
  BrowserWebLayer(const BrowserWebLayer&) = delete;
  BrowserWebLayer& operator=(const BrowserWebLayer&) = delete;

  // The address to open, the run's token included.
  [[nodiscard]] std::string url() const;
  [[nodiscard]] std::uint16_t port() const;

 private:
  explicit BrowserWebLayer(std::unique_ptr<LoopbackServer> server);
  std::unique_ptr<LoopbackServer> server_;
};

// Where Capacitor's iOS package keeps the script, below a web project's
// folder (the one that holds node_modules).
inline constexpr std::string_view nativeBridgeScriptInPackage =
    "node_modules/@capacitor/ios/Capacitor/Capacitor/assets/native-bridge.js";

}  // namespace brisklane
