#include "platform/plugins/local_notification_schema.h"

#include <gtest/gtest.h>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

// The moment the corpus's notifications are scheduled at.
const Date scheduledAt = *Date::fromIso8601("2026-12-10T12:00:00.000Z");

Result<std::vector<PendingNotification>, PluginRejection> decodeText(std::string_view text) {
  const JSObject options = JSObject::parse(text, nullptr, false);
  return decodeScheduledNotifications(options, scheduledAt);
}

TEST(LocalNotificationCorpus, EveryFileDecodesAsItsNameSays) {
  const auto files = testing::corpusFiles("local_notification");
  for (const auto& [name, text] : files) {
    SCOPED_TRACE(name);
    auto decoded = decodeText(text);
    if (name.starts_with("valid-")) {
      ASSERT_TRUE(decoded) << decoded.reason().message;
      for (const PendingNotification& notification : *decoded) {
        EXPECT_GE(notification.moment, scheduledAt);
      }
    } else {
      ASSERT_TRUE(name.starts_with("invalid-"));
      ASSERT_FALSE(decoded);
      EXPECT_TRUE(decoded.reason().code.starts_with("OS-PLUG-LNOT-"));
    }
  }
  EXPECT_GE(files.size(), 20u);
}

TEST(LocalNotificationSchema, RejectsWithThePluginsOwnMessages) {
  const std::pair<std::string_view, PluginRejection> cases[] = {
      {R"({"notifications":[{"title":"t","body":"b"}]})",
       {"Notification is missing an identifier.", "OS-PLUG-LNOT-0002"}},
      {R"({"notifications":[{"id":4294967296,"title":"t","body":"b"}]})",
       {"Notification is missing an identifier. Its id must be a whole number from -2147483648 "
        "to 2147483647.",
        "OS-PLUG-LNOT-0002"}},
      {R"({"notifications":[{"id":1,"title":"t","body":"b","schedule":{"at":"2026-12-10T11:00:00Z"}}]})",
       {"Unable to create the notification, trigger construction failed: schedule.at lies in the "
        "past.",
        "OS-PLUG-LNOT-0004"}},
      {R"({"notifications":"none"})",
       {"Must provide a notifications array as the notifications option.", "OS-PLUG-LNOT-0001"}},
  };
  for (const auto& [text, rejection] : cases) {
    auto decoded = decodeText(text);
    ASSERT_FALSE(decoded) << text;
    EXPECT_EQ(decoded.reason(), rejection);
  }
}

TEST(LocalNotificationSchema, KeepsTheNotificationAsGivenWithItsFirstMoment) {
  auto decoded = decodeText(
      R"({"notifications":[{"id":9,"title":"t","body":"b","extra":{"task":"a"},)"
      R"("schedule":{"at":"2026-12-10T12:30:00.000Z"}},{"id":10,"title":"u","body":"c"}]})");
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->size(), 2u);
  EXPECT_EQ((*decoded)[0].id, 9);
  EXPECT_EQ((*decoded)[0].moment.iso8601(), "2026-12-10T12:30:00.000Z");
  EXPECT_EQ((*decoded)[0].notification["extra"], JSObject({{"task", "a"}}));
  // Without a schedule, at once.
  EXPECT_EQ((*decoded)[1].moment, scheduledAt);
}

}  // namespace
}  // namespace brisklane
