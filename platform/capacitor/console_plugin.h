// Capacitor's built-in `Console` plug-in: the runtime forwards each console
// message of the page to it ({"level","message"}, with the dangling callback
// id, so that nothing answers), and it logs the message as one line.
#pragma once

#include <string>
#include <vector>

#include "platform/capacitor/plugin.h"

namespace brisklane {

class ConsolePlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "CAPConsolePlugin";

  ConsolePlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  void log(CAPPluginCall call);

 private:
  const std::string identifier_ = "CAPConsolePlugin";
  const std::string jsName_ = "Console";
  const std::vector<CAPPluginMethod> pluginMethods_{
      makePluginMethod<&ConsolePlugin::log>("log", CAPPluginReturnNone)};
};

}  // namespace brisklane
