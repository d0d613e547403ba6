#include "app/main_view_controller.h"

#include <gtest/gtest.h>

#include "app/shared_today_widget.h"
#include "platform/capacitor/app_plugin.h"
#include "platform/dispatch/dispatch_queue.h"
#include "platform/foundation/user_defaults.h"
#include "tests/platform/capacitor/recording_web_layer.h"
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
  auto plugin = std::dynamic_pointer_cast<SharedTodayWidget>(bridge->plugin("SharedTodayWidget"));
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->bridge(), bridge);
  EXPECT_NE(std::dynamic_pointer_cast<AppPlugin>(bridge->plugin("App")), nullptr);

  auto defaults = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(defaults);
  EXPECT_TRUE(defaults->string(diagKey).value_or("").starts_with("loaded @")) << "load ran";
  DispatchQueue::main().drain();
  EXPECT_TRUE(bridge->webView()->isInspectable);

  // A second hook run does not replace the plug-in the bridge keeps.
  controller->capacitorDidLoad();
  EXPECT_EQ(bridge->plugin("SharedTodayWidget"), plugin);

  auto webLayer = std::make_shared<testing::RecordingWebLayer>();
  bridge->receive(R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"set",)"
                  R"("options":{"payload":"{}"}})",
                  webLayer);
  EXPECT_EQ(webLayer->messages(),
            std::vector<std::string>{
                R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"set",)"
                R"("save":false,"success":true,"data":{"appGroupOk":true}})"});
}

}  // namespace
}  // namespace brisklane
