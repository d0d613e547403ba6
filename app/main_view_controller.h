// The root view controller: Capacitor's bridge view controller, which once
// its bridge has loaded registers the `SharedTodayWidget` plug-in with it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/capacitor/bridge_view_controller.h"

namespace brisklane {

class MainViewController : public CAPBridgeViewController {
 public:
  static constexpr std::string_view className = "MainViewController";

  MainViewController(const std::optional<std::string>& nibName,
                     const std::optional<NSBundle>& bundle)
      : CAPBridgeViewController(nibName, bundle) {}
  explicit MainViewController(const NSCoder& coder) : CAPBridgeViewController(coder) {}

  // Registers the plug-in class with the bridge, when there is a bridge. The
  // base class's hook is not called.
  void capacitorDidLoad() override;
};

}  // namespace brisklane
