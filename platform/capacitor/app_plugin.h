// Capacitor's `App` plug-in, as far as the web layer needs it here: it turns
// every URL and universal link that reaches the application-delegate proxy
// into the `appUrlOpen` event, {"url": ...} with "iosSourceApplication" and
// "iosOpenInPlace" when the options carry them. An event that finds no
// listener is held until the first one comes, so that a link that started
// the application reaches the page that loads afterwards.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/application_delegate_proxy.h"
#include "platform/capacitor/bridge.h"
#include "platform/capacitor/plugin.h"

namespace brisklane {

inline constexpr std::string_view appUrlOpenEvent = "appUrlOpen";

class AppPlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "AppPlugin";

  AppPlugin() = default;
  AppPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  // Starts observing the application-delegate proxy.
  void load() override;

  // {"url"}: the last URL the application was opened with (on a cold start,
  // the one that started it); {} when there was none.
  void getLaunchUrl(CAPPluginCall call);

 protected:
  // Keeps the device's record of the links that wait for the page's
  // listener (application_launch.h), when this is the device's application.
  void heldEventsChanged(std::string_view eventName, const std::vector<JSObject>& held) override;

 private:
  const std::string identifier_ = "AppPlugin";
  const std::string jsName_ = "App";
  const std::vector<CAPPluginMethod> pluginMethods_{
      makePluginMethod<&AppPlugin::getLaunchUrl>("getLaunchUrl", CAPPluginReturnPromise)};
  std::unique_ptr<ApplicationDelegateProxy::Observation> observation_;
};

}  // namespace brisklane
