#include "app/main_view_controller.h"

#include "app/shared_today_widget.h"

namespace brisklane {

void MainViewController::capacitorDidLoad() {
  if (auto bridge = this->bridge()) bridge->registerPluginType(pluginType<SharedTodayWidget>());
}

}  // namespace brisklane
