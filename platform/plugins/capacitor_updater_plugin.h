// The native side of the `CapacitorUpdater` plug-in (@capgo/capacitor-updater)
// for an application that runs the bundle built into it, as the simulated
// phone's application always does: there is no update server here, and no
// call ever reaches a network.
//
// The calls such an application makes at start-up are answered for the
// built-in bundle, {"id":"builtin","version":<the application's version>,
// "downloaded":"1970-01-01T00:00:00.000Z","checksum":"","status":"success"}:
// `notifyAppReady` {"bundle"}, `current` {"bundle","native"},
// `getBuiltinVersion` and `getPluginVersion` {"version"}, `getDeviceId`
// {"deviceId"} (made once for the device and kept in its folder), `list`
// {"bundles":[]} (no bundle was ever downloaded), `getLatest` (the built-in
// version, up to date), `isAutoUpdateEnabled` {"enabled":false},
// `isAutoUpdateAvailable` {"available":false}, `getNextBundle` (none) and
// `cancelDelay`, `setMultiDelay`, which have nothing to delay. Every call
// that would download, switch, reload or remove a bundle, or talk to an
// update server, rejects with `builtInBundleOnlyMessage`.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/bridge.h"
#include "platform/capacitor/plugin.h"

namespace brisklane {

inline constexpr std::string_view builtInBundleOnlyMessage =
    "the simulated phone runs the built-in bundle only: bundles are not downloaded, switched or "
    "reloaded";
// The version of the plug-in package whose answers these are.
inline constexpr std::string_view capacitorUpdaterPluginVersion = "8.51.23";

class CapacitorUpdaterPlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "CapacitorUpdaterPlugin";

  CapacitorUpdaterPlugin() = default;
  CapacitorUpdaterPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId,
                         std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  void notifyAppReady(CAPPluginCall call);
  void current(CAPPluginCall call);
  void getBuiltinVersion(CAPPluginCall call);
  void getDeviceId(CAPPluginCall call);
  void getPluginVersion(CAPPluginCall call);
  void list(CAPPluginCall call);
  void getLatest(CAPPluginCall call);
  void isAutoUpdateEnabled(CAPPluginCall call);
  void isAutoUpdateAvailable(CAPPluginCall call);
  void getNextBundle(CAPPluginCall call);
  void nothingToDelay(CAPPluginCall call);
  void builtInBundleOnly(CAPPluginCall call);

 private:
  const std::string identifier_ = "CapacitorUpdaterPlugin";
  const std::string jsName_ = "CapacitorUpdater";
  const std::vector<CAPPluginMethod> pluginMethods_ = methods();

  static std::vector<CAPPluginMethod> methods();
};

}  // namespace brisklane
