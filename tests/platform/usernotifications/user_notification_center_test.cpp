#include "platform/usernotifications/user_notification_center.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

Date momentAt(std::string_view iso) {
  return *Date::fromIso8601(iso);
}

TEST(UserNotificationCenter, IsReadBackAsWrittenSoonestPendingFirst) {
  testing::TemporaryDevice device;
  EXPECT_EQ(*readNotificationCenter(), NotificationCenterRecord{});
  auto written = changeNotificationCenter([](NotificationCenterRecord& center) {
    center.permission = NotificationPermission::prompt;
    center.permissionAlert = PermissionAlert{.processIdentifier = 4242};
    center.badge = 3;
    center.pending = {
        {.id = 2,
         .moment = momentAt("2026-12-10T12:30:00.000Z"),
         .notification = {{"id", 2}, {"title", "Later"}}},
        {.id = -7, .moment = momentAt("2026-12-10T12:00:00.000Z"), .notification = {{"id", -7}}}};
    center.delivered = {{.id = 1,
                         .deliveredAt = momentAt("2026-12-10T11:00:00.000Z"),
                         .notification = {{"id", 1}},
                         .heard = true}};
  });
  ASSERT_TRUE(written);
  EXPECT_EQ(written->pending[0].id, -7);
  EXPECT_EQ(*readNotificationCenter(), *written);
  EXPECT_EQ(*decodeNotificationCenter(encodeNotificationCenter(*written)), *written);
}

TEST(UserNotificationCenter, RefusesARecordItCannotTrust) {
  for (std::string_view json :
       {"", "[]", R"({"permission":"maybe"})", R"({"badge":-1})", R"({"badge":"2"})",
        R"({"actionTypes":{}})", R"({"pending":{}})",
        R"({"pending":[{"id":4294967296,"moment":"2026-12-10T12:00:00Z","notification":{}}]})",
        R"({"pending":[{"id":1,"moment":"noon","notification":{}}]})",
        R"({"delivered":[{"id":1,"deliveredAt":"2026-12-10T12:00:00Z"}]})",
        R"({"permissionAlert":true})", R"({"permissionAlert":{"processIdentifier":0}})"}) {
    EXPECT_FALSE(decodeNotificationCenter(json)) << json;
  }
}

TEST(UserNotificationCenter, AuthorizationWaitsForTheUsersAnswerToTheAlert) {
  testing::TemporaryDevice device;
  UNUserNotificationCenter center;
  std::vector<std::string> answers;
  const auto note = [&](const Result<NotificationPermission>& answer) {
    answers.emplace_back(answer ? name(*answer) : answer.reason());
  };
  center.requestAuthorization(note);
  center.requestAuthorization(note);
  EXPECT_TRUE(answers.empty()) << "the alert waits for the user";
  EXPECT_EQ(readNotificationCenter()->permissionAlert,
            PermissionAlert{.processIdentifier = ::getpid()});

  // The system keeps the answer, then tells the application: both complete.
  ASSERT_TRUE(changeNotificationCenter([](NotificationCenterRecord& record) {
    record.permission = NotificationPermission::denied;
    record.permissionAlert.reset();
  }));
  center.authorizationAnswered(NotificationPermission::denied);
  EXPECT_EQ(answers, (std::vector<std::string>{"denied", "denied"}));
  center.requestAuthorization(note);
  EXPECT_EQ(answers.back(), "denied") << "asked already: no alert";
  EXPECT_FALSE(readNotificationCenter()->permissionAlert);

  // An answer whose word never reached the application is found by its next
  // request, which completes the one still waiting too.
  ASSERT_TRUE(changeNotificationCenter([](NotificationCenterRecord& record) {
    record.permission = NotificationPermission::prompt;
  }));
  answers.clear();
  center.requestAuthorization(note);
  ASSERT_TRUE(changeNotificationCenter([](NotificationCenterRecord& record) {
    record.permission = NotificationPermission::granted;
  }));
  center.requestAuthorization(note);
  EXPECT_EQ(answers, (std::vector<std::string>{"granted", "granted"}));
}

// The application and the widget host change the record at once; the lock
// keeps every change.
TEST(UserNotificationCenter, LosesNoChangeMadeAtTheSameTime) {
  testing::TemporaryDevice device;
  constexpr int changes = 40;
  auto changeMany = [] {
    for (int index = 0; index < changes; ++index) {
      ASSERT_TRUE(
          changeNotificationCenter([](NotificationCenterRecord& center) { ++center.badge; }));
    }
  };
  std::thread other(changeMany);
  changeMany();
  other.join();
  EXPECT_EQ(readNotificationCenter()->badge, 2 * changes);
}

}  // namespace
}  // namespace brisklane
