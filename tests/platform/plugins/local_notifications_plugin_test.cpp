#include "platform/plugins/local_notifications_plugin.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/platform/plugins/plugin_test_bridge.h"

namespace brisklane {
namespace {

using NotificationsPage = testing::PluginTestBridge<LocalNotificationsPlugin>;

JSObject reminder(int id, std::chrono::minutes ahead) {
  return {{"id", id},
          {"title", "Pay rent"},
          {"body", "today"},
          {"schedule", {{"at", Date{Date::now().instant + ahead}.iso8601()}}},
          {"extra", {{"taskId", "t" + std::to_string(id)}}}};
}

// What the widget host does when a notification's moment comes.
void deliver(std::int32_t id) {
  ASSERT_TRUE(changeNotificationCenter([id](NotificationCenterRecord& center) {
    for (const PendingNotification& pending : center.pending) {
      if (pending.id == id) {
        center.delivered.push_back(
            {.id = id, .deliveredAt = Date::now(), .notification = pending.notification});
      }
    }
    std::erase_if(center.pending, [id](const PendingNotification& p) { return p.id == id; });
  }));
}

TEST(LocalNotificationsPlugin, KeepsPendingNotificationsInTheDeviceUntilCancelled) {
  NotificationsPage page;
  EXPECT_EQ(page.data("checkPermissions"), JSObject({{"display", "prompt"}}));
  EXPECT_EQ(page.data("areEnabled"), JSObject({{"value", false}}));
  // The system's alert stands until the user answers it; so does the call.
  EXPECT_EQ(page.send("requestPermissions"), 0u);
  EXPECT_EQ(readNotificationCenter()->permissionAlert,
            PermissionAlert{.processIdentifier = ::getpid()});
  NotificationsPage::answerPermissionAlert(NotificationPermission::granted);
  EXPECT_EQ(page.page->last()["data"], JSObject({{"display", "granted"}}));
  EXPECT_EQ(page.data("requestPermissions"), JSObject({{"display", "granted"}}))
      << "asked already: answered at once";

  const JSObject later = reminder(2, std::chrono::minutes(60)),
                 sooner = reminder(1, std::chrono::minutes(30));
  EXPECT_EQ(page.data("schedule", {{"notifications", {later, sooner}}}),
            JSObject({{"notifications", {{{"id", 2}}, {{"id", 1}}}}}));
  const JSObject pending = page.data("getPending")["notifications"];
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0], JSObject({{"id", 1},
                                  {"title", "Pay rent"},
                                  {"body", "today"},
                                  {"schedule", sooner["schedule"]},
                                  {"extra", sooner["extra"]}}));
  // Scheduling an id again replaces it, also twice in one call (the last stays).
  page.data("schedule",
            {{"notifications",
              {reminder(2, std::chrono::minutes(90)), reminder(2, std::chrono::minutes(10))}}});
  EXPECT_EQ(page.data("getPending")["notifications"][0]["id"], 2);
  EXPECT_EQ(readNotificationCenter()->pending.size(), 2u);

  page.data("cancel", {{"notifications", {{{"id", 2}}}}});
  EXPECT_EQ(page.data("getPending")["notifications"].size(), 1u);
  EXPECT_EQ(page.rejection("schedule", {{"notifications", {{{"title", "t"}, {"body", "b"}}}}}),
            "Notification is missing an identifier.");
  EXPECT_EQ(page.rejection("cancel", {{"notifications", 3}}),
            "Expected notifications to be a list of notification objects.");
  EXPECT_EQ(page.call("createChannel", {{"id", "c"}})["error"]["code"], "UNIMPLEMENTED");
}

TEST(LocalNotificationsPlugin, PassesTheSystemsNoticesOnAndHoldsATapForTheFirstListener) {
  NotificationsPage page;
  page.data("schedule", {{"notifications", {reminder(7, std::chrono::minutes(30))}}});
  deliver(7);
  EXPECT_EQ(page.data("getDeliveredNotifications")["notifications"][0]["id"], 7);

  // A tap before the page listens: held, then handed to the first listener once.
  ASSERT_TRUE(UNUserNotificationCenter::current().receive(7, "tap", std::nullopt));
  EXPECT_FALSE(UNUserNotificationCenter::current().receive(8, "tap", std::nullopt));
  const auto before = page.page->messages().size();
  page.bridge->receive(
      R"({"callbackId":"50","pluginId":"LocalNotifications","methodName":"addListener","options":{"eventName":"localNotificationActionPerformed"}})",
      page.page);
  ASSERT_EQ(page.page->messages().size(), before + 1);
  const JSObject tapped = page.page->last();
  EXPECT_EQ(tapped["callbackId"], "50");
  EXPECT_EQ(tapped["data"]["actionId"], "tap");
  EXPECT_EQ(tapped["data"]["notification"]["extra"], JSObject({{"taskId", "t7"}}));
  // Answered, it leaves the delivered list, as the phone clears it.
  EXPECT_TRUE(readNotificationCenter()->delivered.empty());

  // Presented while in front: only the listeners of that event hear it,
  // and it stays on the list, heard.
  page.data("schedule", {{"notifications", {reminder(8, std::chrono::minutes(30))}}});
  deliver(8);
  page.bridge->receive(
      R"({"callbackId":"51","pluginId":"LocalNotifications","methodName":"addListener","options":{"eventName":"localNotificationReceived"}})",
      page.page);
  ASSERT_TRUE(UNUserNotificationCenter::current().present(8));
  EXPECT_EQ(page.page->messages().size(), before + 3);
  EXPECT_EQ(page.page->last()["callbackId"], "51");
  EXPECT_EQ(page.page->last()["data"]["id"], 8);
  EXPECT_TRUE(readNotificationCenter()->delivered[0].heard);

  page.data("removeAllDeliveredNotifications");
  EXPECT_EQ(page.data("getDeliveredNotifications"),
            JSObject({{"notifications", JSObject::array()}}));
}

}  // namespace
}  // namespace brisklane
