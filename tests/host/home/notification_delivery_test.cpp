#include "host/home/notification_delivery.h"

#include <gtest/gtest.h>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

Date deliveryMoment(std::string_view iso) {
  return *Date::fromIso8601(iso);
}

PendingNotification pendingAt(std::int32_t id, std::string_view moment,
                              nlohmann::ordered_json schedule = nullptr) {
  nlohmann::ordered_json notification{{"id", id}, {"title", "T"}, {"body", "B"}};
  if (!schedule.is_null()) notification["schedule"] = std::move(schedule);
  return {.id = id, .moment = deliveryMoment(moment), .notification = std::move(notification)};
}

TEST(NotificationDelivery, DeliversWhatIsDueOnceAndKeepsARepeatingOneAtItsNextMomentAhead) {
  testing::TemporaryDevice device;
  ASSERT_TRUE(changeNotificationCenter([](NotificationCenterRecord& center) {
    center.permission = NotificationPermission::granted;
    center.pending = {
        pendingAt(1, "2026-12-10T12:00:00.000Z"),
        pendingAt(2, "2026-12-10T11:00:00.000Z", {{"every", "minute"}, {"count", 20}}),
        pendingAt(3, "2026-12-10T13:00:00.000Z")};
  }));
  const Date now = deliveryMoment("2026-12-10T12:30:00.000Z");
  auto delivered = deliverDueNotifications(now);
  ASSERT_TRUE(delivered);
  ASSERT_EQ(delivered->size(), 2u);
  EXPECT_EQ((*delivered)[0].id, 2);
  EXPECT_EQ((*delivered)[1].id, 1);
  EXPECT_FALSE((*delivered)[0].heard);

  auto center = readNotificationCenter();
  ASSERT_TRUE(center);
  EXPECT_EQ(center->delivered.size(), 2u);
  ASSERT_EQ(center->pending.size(), 2u);
  // Missed repeats are not made up for: once, then the next one ahead.
  EXPECT_EQ(center->pending[0].id, 2);
  EXPECT_EQ(center->pending[0].moment.iso8601(), "2026-12-10T12:40:00.000Z");
  EXPECT_EQ(center->pending[1].id, 3);

  EXPECT_TRUE(deliverDueNotifications(now)->empty()) << "delivered once";
  const auto shown = notificationCenterJson(*center, 0);
  EXPECT_EQ(
      shown["pending"][0],
      nlohmann::ordered_json(
          {{"id", 2}, {"title", "T"}, {"body", "B"}, {"moment", "2026-12-10T12:40:00.000Z"}}));
}

// The alert goes with the application that asked: an App that ended, or
// another one, leaves no alert standing on the page.
TEST(NotificationDelivery, ShowsThePermissionAlertOnlyWhileTheApplicationThatAskedRuns) {
  NotificationCenterRecord record;
  record.permissionAlert = PermissionAlert{.processIdentifier = 4242};
  EXPECT_EQ(notificationCenterJson(record, 4242)["permissionAlert"], true);
  EXPECT_EQ(notificationCenterJson(record, 4343)["permissionAlert"], false);
  EXPECT_EQ(notificationCenterJson(record, 0)["permissionAlert"], false);
}

TEST(NotificationDelivery, OffersTheActionsOfTheNotificationsRegisteredType) {
  const auto types = nlohmann::ordered_json::parse(R"([
    {"id":"other","actions":[{"id":"x","title":"X"}]},
    {"id":"reminder","actions":[
      {"id":"done","title":"Done","destructive":true},
      {"id":"broken"},
      {"id":"reply","title":"Reply","input":true,"inputButtonTitle":"Send","foreground":"yes"}]}])");
  const auto notification = [](const char* type) {
    return nlohmann::ordered_json{{"id", 1}, {"actionTypeId", type}};
  };
  EXPECT_EQ(notificationActions(types, notification("reminder")),
            (std::vector<NotificationAction>{
                {.id = "done", .title = "Done", .destructive = true},
                {.id = "reply", .title = "Reply", .input = true, .inputButtonTitle = "Send"}}));
  EXPECT_TRUE(notificationActions(types, notification("unknown")).empty());
  EXPECT_TRUE(notificationActions(types, nlohmann::ordered_json{{"id", 1}}).empty());
  EXPECT_TRUE(
      notificationActions(nlohmann::ordered_json::object(), notification("reminder")).empty());
}

TEST(NotificationDelivery, LetsTheMomentPassUnseenWithoutTheUsersPermission) {
  testing::TemporaryDevice device;
  ASSERT_TRUE(changeNotificationCenter([](NotificationCenterRecord& center) {
    center.pending = {pendingAt(1, "2026-12-10T12:00:00.000Z")};
  }));
  EXPECT_TRUE(deliverDueNotifications(deliveryMoment("2026-12-10T12:30:00.000Z"))->empty());
  EXPECT_EQ(*readNotificationCenter(), NotificationCenterRecord{});
}

}  // namespace
}  // namespace brisklane
