// `SharedTodayWidget`, the plug-in through which the web layer publishes the
// Today summary to the widgets. `set` stores the text it is given under
// "today" exactly as given and asks the widget host to reload; `status`
// reports what the shared store holds; `load` leaves the diagnostic time
// stamp under "diag" and makes the web view inspectable.
//
// The plug-in keeps no state of its own: each operation opens the shared
// store afresh and lets it go before it returns. `set` and `status` run on
// the thread the bridge calls them on and schedule nothing.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/bridge.h"
#include "platform/capacitor/plugin.h"
#include "platform/foundation/date.h"

namespace brisklane {

inline constexpr std::string_view payloadRequiredMessage = "payload (JSON string) is required";

// "loaded @" followed by the whole seconds since 1970 of `moment`, truncated
// toward zero.
[[nodiscard]] std::string diagnosticTimeStamp(Date moment);

class SharedTodayWidget : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "SharedTodayWidget";

  SharedTodayWidget();
  SharedTodayWidget(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName);

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  void load() override;
  void set(CAPPluginCall call);
  void status(CAPPluginCall call);

 private:
  const std::string identifier_ = "SharedTodayWidget";
  const std::string jsName_ = "SharedTodayWidget";
  const std::vector<CAPPluginMethod> pluginMethods_ = {
      makePluginMethod<&SharedTodayWidget::set>("set", CAPPluginReturnPromise),
      makePluginMethod<&SharedTodayWidget::status>("status", CAPPluginReturnPromise),
  };
};

}  // namespace brisklane
