#include "platform/plugins/badge_plugin.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/usernotifications/user_notification_center.h"
#include "tests/platform/plugins/plugin_test_bridge.h"

namespace brisklane {
namespace {

using BadgePage = testing::PluginTestBridge<BadgePlugin>;

TEST(BadgePlugin, KeepsTheCountInTheDeviceAndNeverGoesBelowZero) {
  BadgePage page;
  EXPECT_EQ(page.data("get"), JSObject({{"count", 0}}));
  EXPECT_EQ(page.data("checkPermissions"), JSObject({{"display", "prompt"}}));
  // Changing the number asks for the permission, as on the phone, and waits
  // for the user's answer; a denied one still keeps the number.
  EXPECT_EQ(page.send("set", {{"count", 3}}), 0u);
  EXPECT_EQ(page.data("get"), JSObject({{"count", 0}}));
  BadgePage::answerPermissionAlert(NotificationPermission::denied);
  EXPECT_TRUE(page.page->last()["success"]);
  EXPECT_EQ(page.data("checkPermissions"), JSObject({{"display", "denied"}}));
  page.data("increase");
  EXPECT_EQ(page.data("get"), JSObject({{"count", 4}}));

  page.data("clear");
  page.data("decrease");
  EXPECT_EQ(page.data("get"), JSObject({{"count", 0}}));

  page.data("set", {{"count", 2}});
  // The count is the device's: a new application's plug-in reads it back.
  EXPECT_EQ(readNotificationCenter()->badge, 2);
  auto restarted = CAPBridge::make(nullptr, [](std::string_view) {});
  restarted->registerPluginType(pluginType<BadgePlugin>());
  restarted->receive(R"({"callbackId":"9","pluginId":"Badge","methodName":"get","options":{}})",
                     page.page);
  EXPECT_EQ(page.page->last()["data"], JSObject({{"count", 2}}));
  EXPECT_EQ(page.data("isSupported"), JSObject({{"isSupported", true}}));
}

TEST(BadgePlugin, RejectsACountThatIsNoWholeNumberFromZeroAndKeepsTheOldOne) {
  BadgePage page;
  BadgePage::answerPermissionAlert(NotificationPermission::granted);
  page.data("set", {{"count", 5}});
  for (const JSObject& options :
       {JSObject::object(), JSObject{{"count", -1}}, JSObject{{"count", "3"}},
        JSObject{{"count", 2.5}}, JSObject{{"count", nullptr}}, JSObject{{"count", 1e12}}}) {
    EXPECT_EQ(page.rejection("set", options), badgeCountMessage) << options.dump();
  }
  EXPECT_EQ(page.data("get"), JSObject({{"count", 5}}));
}

TEST(BadgePlugin, AnswersWhyWhenTheDeviceRecordCannotBeRead) {
  BadgePage page;
  {
    std::ofstream broken(notificationCenterPath());
    broken << "not json";
  }
  EXPECT_NE(page.rejection("get").find("notification centre is not a JSON object"),
            std::string::npos);
  EXPECT_NE(page.rejection("increase"), "");
}

}  // namespace
}  // namespace brisklane
