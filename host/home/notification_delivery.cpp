#include "host/home/notification_delivery.h"

#include <algorithm>

#include "platform/usernotifications/notification_trigger.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

// The moment after `delivered` at which the notification comes again, past
// `now`; nothing for one that comes once.
std::optional<Date> followingMoment(const PendingNotification& pending, Date now) {
  auto schedule = pending.notification.find("schedule");
  auto trigger =
      decodeNotificationTrigger(schedule == pending.notification.end() ? nullptr : &*schedule);
  if (!trigger) return std::nullopt;
  std::optional<Date> next = nextTriggerDate(*trigger, pending.moment);
  while (next && *next <= now) next = nextTriggerDate(*trigger, *next);
  return next;
}

Json textOf(const Json& notification, const char* key) {
  auto found = notification.find(key);
  return found != notification.end() && found->is_string() ? *found : Json("");
}

bool flagOf(const Json& object, const char* key) {
  auto found = object.find(key);
  return found != object.end() && found->is_boolean() && found->get<bool>();
}

Json actionJson(const NotificationAction& action) {
  return {{"id", action.id},
          {"title", action.title},
          {"foreground", action.foreground},
          {"destructive", action.destructive},
          {"input", action.input},
          {"inputButtonTitle", action.inputButtonTitle},
          {"inputPlaceholder", action.inputPlaceholder}};
}

}  // namespace

std::vector<NotificationAction> notificationActions(const Json& actionTypes,
                                                    const Json& notification) {
  std::vector<NotificationAction> actions;
  auto typeId = notification.find("actionTypeId");
  if (typeId == notification.end() || !typeId->is_string() || !actionTypes.is_array()) {
    return actions;
  }
  auto type = std::find_if(actionTypes.begin(), actionTypes.end(), [&](const Json& each) {
    return each.is_object() && each.value("id", Json()) == *typeId;
  });
  if (type == actionTypes.end()) return actions;
  auto listed = type->find("actions");
  if (listed == type->end() || !listed->is_array()) return actions;
  for (const Json& action : *listed) {
    if (!action.is_object() || !action.value("id", Json()).is_string() ||
        !action.value("title", Json()).is_string()) {
      continue;
    }
    actions.push_back({.id = action["id"].get<std::string>(),
                       .title = action["title"].get<std::string>(),
                       .foreground = flagOf(action, "foreground"),
                       .destructive = flagOf(action, "destructive"),
                       .input = flagOf(action, "input"),
                       .inputButtonTitle = textOf(action, "inputButtonTitle").get<std::string>(),
                       .inputPlaceholder = textOf(action, "inputPlaceholder").get<std::string>()});
  }
  return actions;
}

Result<std::vector<DeliveredNotification>> deliverDueNotifications(Date now) {
  // Most rounds deliver nothing: those read the record without its lock.
  auto seen = readNotificationCenter();
  if (!seen) return Failure{seen.reason()};
  if (seen->pending.empty() || seen->pending.front().moment > now) {
    return std::vector<DeliveredNotification>{};
  }
  std::vector<DeliveredNotification> delivered;
  auto changed = changeNotificationCenter([&](NotificationCenterRecord& center) {
    std::vector<PendingNotification> still;
    for (PendingNotification& pending : center.pending) {
      if (pending.moment > now) {
        still.push_back(std::move(pending));
        continue;
      }
      // Without the user's permission its moment passes unseen.
      if (center.permission == NotificationPermission::granted) {
        // A notification delivered again replaces its earlier delivery.
        std::erase_if(center.delivered,
                      [&](const DeliveredNotification& entry) { return entry.id == pending.id; });
        delivered.push_back({.id = pending.id,
                             .deliveredAt = pending.moment,
                             .notification = pending.notification,
                             .heard = false});
        center.delivered.push_back(delivered.back());
      }
      if (auto next = followingMoment(pending, now)) {
        pending.moment = *next;
        still.push_back(std::move(pending));
      }
    }
    center.pending = std::move(still);
  });
  if (!changed) return Failure{changed.reason()};
  return delivered;
}

Json notificationCenterJson(const NotificationCenterRecord& record,
                            std::int64_t runningApplication) {
  Json pending = Json::array(), delivered = Json::array();
  for (const PendingNotification& entry : record.pending) {
    pending.push_back({{"id", entry.id},
                       {"title", textOf(entry.notification, "title")},
                       {"body", textOf(entry.notification, "body")},
                       {"moment", entry.moment.iso8601()}});
  }
  for (const DeliveredNotification& entry : record.delivered) {
    Json actions = Json::array();
    for (const NotificationAction& action :
         notificationActions(record.actionTypes, entry.notification)) {
      actions.push_back(actionJson(action));
    }
    delivered.push_back({{"id", entry.id},
                         {"title", textOf(entry.notification, "title")},
                         {"body", textOf(entry.notification, "body")},
                         {"deliveredAt", entry.deliveredAt.iso8601()},
                         {"heard", entry.heard},
                         {"actions", std::move(actions)}});
  }
  const bool alert = record.permissionAlert && runningApplication != 0 &&
                     record.permissionAlert->processIdentifier == runningApplication;
  return {{"permission", name(record.permission)},
          {"permissionAlert", alert},
          {"badge", record.badge},
          {"pending", std::move(pending)},
          {"delivered", std::move(delivered)}};
}

}  // namespace brisklane
