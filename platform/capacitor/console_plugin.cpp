#include "platform/capacitor/console_plugin.h"

#include "platform/capacitor/bridge.h"

namespace brisklane {

void ConsolePlugin::log(CAPPluginCall call) {
  auto bridge = this->bridge();
  if (!bridge) return;
  bridge->log("console." + call.getString("level").value_or("log") + ": " +
              call.getString("message").value_or(""));
}

}  // namespace brisklane
