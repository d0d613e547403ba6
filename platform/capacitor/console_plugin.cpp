#include "platform/capacitor/console_plugin.h"

#include "platform/capacitor/bridge.h"

namespace brisklane {

// The bridge hands every method its call by value; this one only reads it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void ConsolePlugin::log(CAPPluginCall call) {
  auto bridge = this->bridge();
  if (!bridge) return;
  bridge->log("console." + call.getString("level").value_or("log") + ": " +
              call.getString("message").value_or(""));
}

}  // namespace brisklane
