// The native side of the `Badge` plug-in (@capawesome/capacitor-badge),
// answering as its iOS side does. The number belongs to the device, not to
// the application's process: it is kept in the device's notification centre
// (platform/usernotifications), where the home screen reads it to draw it
// on the application's icon, and it survives the application ending.
//
// `get` {"count"}; `set` {"count"} a whole number, 0 or more; `increase`;
// `decrease`, which leaves 0 as it is; `clear`; `isSupported`
// {"isSupported":true}; `checkPermissions` and `requestPermissions`
// {"display"}, the device's notification permission, which the badge
// shares. Changing the number asks for the permission first, as on the
// phone. A device whose record cannot be read or written rejects the call
// with why.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/bridge.h"
#include "platform/capacitor/plugin.h"

namespace brisklane {

inline constexpr std::string_view badgeCountMessage = "count must be a whole number, 0 or more.";

class BadgePlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "BadgePlugin";

  BadgePlugin() = default;
  BadgePlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  void checkPermissions(CAPPluginCall call) override;
  void requestPermissions(CAPPluginCall call) override;
  void get(CAPPluginCall call);
  void set(CAPPluginCall call);
  void increase(CAPPluginCall call);
  void decrease(CAPPluginCall call);
  void clear(CAPPluginCall call);
  void isSupported(CAPPluginCall call);

 private:
  const std::string identifier_ = "BadgePlugin";
  const std::string jsName_ = "Badge";
  const std::vector<CAPPluginMethod> pluginMethods_{
      makePluginMethod<&BadgePlugin::get>("get", CAPPluginReturnPromise),
      makePluginMethod<&BadgePlugin::set>("set", CAPPluginReturnPromise),
      makePluginMethod<&BadgePlugin::increase>("increase", CAPPluginReturnPromise),
      makePluginMethod<&BadgePlugin::decrease>("decrease", CAPPluginReturnPromise),
      makePluginMethod<&BadgePlugin::clear>("clear", CAPPluginReturnPromise),
      makePluginMethod<&BadgePlugin::isSupported>("isSupported", CAPPluginReturnPromise)};
};

}  // namespace brisklane
