#include "app/main_view_controller.h"

#include <gtest/gtest.h>

#include "app/shared_today_widget.h"
#include "platform/capacitor/app_plugin.h"
#include "platform/foundation/user_defaults.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

TEST(MainViewController, LoadingTheViewRegistersAndLoadsThePluginAndNothingBefore) {
  testing::TemporaryDevice device;
  MainViewController unloaded{NSCoder{}};
  unloaded.capacitorDidLoad();
  EXPECT_EQ(unloaded.bridge(), nullptr);
  EXPECT_FALSE(unloaded.isViewLoaded());

  auto controller = std::make_shared<MainViewController>(NSCoder{});
  UIWindow window;
  window.rootViewController = controller;
  window.makeKeyAndVisible();

  auto bridge = controller->bridge();
  ASSERT_NE(bridge, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<SharedTodayWidget>(bridge->plugin("SharedTodayWidget")),
            nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<AppPlugin>(bridge->plugin("App")), nullptr);

  auto defaults = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(defaults);
  EXPECT_TRUE(defaults->string(diagKey).value_or("").starts_with("loaded @")) << "load ran";
}

}  // namespace
}  // namespace brisklane
