// Capacitor's `CAPBridgeViewController`: the view controller that hosts the
// web application. Loading its view sets up the web view and the bridge,
// registers the plug-ins packaged with the application (Capacitor's `App`
// and console plug-ins, then those the package links), runs the
// `capacitorDidLoad` hook, and then loads the web application: it opens the
// web-layer channel that the launch arguments name ("stdio": the process's
// standard input and output; "browser": the web application served to a
// desktop browser, whose address it prints on standard output).
//
// A stdio web layer is the session: when its input ends, the application
// ends after the work already queued.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/capacitor/bridge.h"
#include "platform/capacitor/browser_web_layer.h"
#include "platform/capacitor/stdio_web_layer.h"
#include "platform/uikit/uikit.h"

namespace brisklane {

// The plug-ins the application package links besides Capacitor's own (the
// classes its configuration's `packageClassList` names), in the order they
// are registered. Set before `UIApplicationMain` runs, only read afterwards.
bool registerPackagedPlugins(std::vector<CAPPluginType> types);
[[nodiscard]] const std::vector<CAPPluginType>& packagedPlugins();

class CAPBridgeViewController : public UIViewController {
 public:
  CAPBridgeViewController(const std::optional<std::string>& nibName,
                          const std::optional<NSBundle>& bundle)
      : UIViewController(nibName, bundle) {}
  explicit CAPBridgeViewController(const NSCoder& coder) : UIViewController(coder) {}
  ~CAPBridgeViewController() override;

  // The bridge, once the view has loaded.
  [[nodiscard]] std::shared_ptr<CAPBridge> bridge() const { return bridge_; }

  // Run once the bridge has loaded, before the web application starts.
  virtual void capacitorDidLoad() {}

 protected:
  void viewDidLoad() override;

 private:
  std::shared_ptr<CAPBridge> bridge_;
  void startBrowserWebLayer(const LaunchArguments& launch);
  void recordLaunchSetup(const BrowserWebLayerOptions& options) const;

  std::unique_ptr<StdioWebLayer> stdioWebLayer_;
  std::unique_ptr<BrowserWebLayer> browserWebLayer_;
};

}  // namespace brisklane
