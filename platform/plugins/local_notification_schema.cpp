#include "platform/plugins/local_notification_schema.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "platform/usernotifications/notification_trigger.h"

namespace brisklane {
namespace {

const PluginRejection notANotificationList{
    .message = "Must provide a notifications array as the notifications option.",
    .code = "OS-PLUG-LNOT-0001"};

PluginRejection missingIdentifier(std::string_view detail = "") {
  return {.message = "Notification is missing an identifier." + std::string(detail),
          .code = "OS-PLUG-LNOT-0002"};
}

// The notification's id: a whole number within 32 bits.
Result<std::int32_t, PluginRejection> identifierOf(const JSObject& notification) {
  auto id = notification.find("id");
  if (id == notification.end() || id->is_null()) return Failure{missingIdentifier()};
  if (!id->is_number_integer() ||
      id->get<std::int64_t>() < std::numeric_limits<std::int32_t>::min() ||
      id->get<std::int64_t>() > std::numeric_limits<std::int32_t>::max() ||
      (id->is_number_unsigned() &&
       id->get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max())) {
    return Failure{
        missingIdentifier(" Its id must be a whole number from -2147483648 to 2147483647.")};
  }
  return id->get<std::int32_t>();
}

// The list under "notifications", each entry an object.
const JSObject* notificationList(const JSObject& options) {
  if (!options.is_object()) return nullptr;
  auto list = options.find("notifications");
  if (list == options.end() || !list->is_array()) return nullptr;
  for (const JSObject& entry : *list) {
    if (!entry.is_object()) return nullptr;
  }
  return &*list;
}

Result<PendingNotification, PluginRejection> decodeNotification(const JSObject& notification,
                                                                Date now) {
  auto id = identifierOf(notification);
  if (!id) return Failure{id.reason()};
  for (const char* key : {"title", "body"}) {
    auto text = notification.find(key);
    if (text == notification.end() || !text->is_string()) {
      return Failure{
          PluginRejection{.message = std::string("Unable to build the notification content: ") +
                                     key + " must be a string.",
                          .code = "OS-PLUG-LNOT-0003"}};
    }
  }
  const auto triggerFailed = [](const std::string& why) {
    return Failure{PluginRejection{
        .message = "Unable to create the notification, trigger construction failed: " + why + ".",
        .code = "OS-PLUG-LNOT-0004"}};
  };
  auto schedule = notification.find("schedule");
  auto trigger = decodeNotificationTrigger(schedule == notification.end() ? nullptr : &*schedule);
  if (!trigger) return triggerFailed(trigger.reason());
  if (auto type = notification.find("actionTypeId");
      type != notification.end() && !type->is_string()) {
    return Failure{PluginRejection{.message = "Unable to build the notification content: "
                                              "actionTypeId must be a string.",
                                   .code = "OS-PLUG-LNOT-0003"}};
  }
  auto moment = firstTriggerDate(*trigger, now);
  if (!moment) {
    return triggerFailed(trigger->at   ? "schedule.at lies in the past"
                         : trigger->on ? "no date matches schedule.on"
                                       : "its first moment lies beyond the clock's range");
  }
  return PendingNotification{.id = *id, .moment = *moment, .notification = notification};
}

}  // namespace

Result<std::vector<PendingNotification>, PluginRejection> decodeScheduledNotifications(
    const JSObject& options, Date now) {
  const JSObject* list = notificationList(options);
  if (list == nullptr) return Failure{notANotificationList};
  std::vector<PendingNotification> notifications;
  for (const JSObject& entry : *list) {
    auto notification = decodeNotification(entry, now);
    if (!notification) return Failure{notification.reason()};
    notifications.push_back(std::move(*notification));
  }
  return notifications;
}

Result<std::vector<std::int32_t>, PluginRejection> decodeNotificationIds(const JSObject& options) {
  const JSObject* list = notificationList(options);
  if (list == nullptr) {
    return Failure{
        PluginRejection{.message = "Expected notifications to be a list of notification objects.",
                        .code = "OS-PLUG-LNOT-0011"}};
  }
  std::vector<std::int32_t> ids;
  for (const JSObject& entry : *list) {
    auto id = identifierOf(entry);
    if (!id) return Failure{id.reason()};
    ids.push_back(*id);
  }
  return ids;
}

}  // namespace brisklane
