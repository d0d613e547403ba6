#include "platform/plugins/local_notifications_plugin.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <set>
#include <utility>

#include "platform/plugins/local_notification_schema.h"
#include "platform/plugins/notification_center_calls.h"

namespace brisklane {
namespace {

void rejectWith(CAPPluginCall& call, const PluginRejection& rejection) {
  call.reject(rejection.message, rejection.code);
}

// What `getPending` tells of a pending notification.
JSObject pendingJson(const PendingNotification& pending) {
  JSObject answer{{"id", pending.id}};
  for (const char* key : {"title", "body", "schedule", "extra"}) {
    if (auto found = pending.notification.find(key); found != pending.notification.end()) {
      answer[key] = *found;
    }
  }
  return answer;
}

template <class Entry>
void eraseIds(std::vector<Entry>& entries, const std::vector<std::int32_t>& ids) {
  const std::set<std::int32_t> removed(ids.begin(), ids.end());
  std::erase_if(entries, [&](const Entry& entry) { return removed.contains(entry.id); });
}

// Removes the notifications `descriptors` names ({"notifications":[{"id"}]})
// from the record's `list`, pending or delivered.
template <class Entry>
void removeNotifications(CAPPluginCall& call, const JSObject& descriptors,
                         std::vector<Entry> NotificationCenterRecord::*list) {
  auto ids = decodeNotificationIds(descriptors);
  if (!ids) {
    rejectWith(call, ids.reason());
    return;
  }
  changeNotificationCenterAndAnswer(
      call, [&](NotificationCenterRecord& center) { eraseIds(center.*list, *ids); });
}

// A notification of an id already asked for replaces it, in one call as
// across calls: the last of each id is kept, in the order they came.
void keepLastOfEachId(std::vector<PendingNotification>& notifications) {
  std::set<std::int32_t> seen;
  std::vector<PendingNotification> kept;
  for (auto entry = notifications.rbegin(); entry != notifications.rend(); ++entry) {
    if (seen.insert(entry->id).second) kept.push_back(std::move(*entry));
  }
  notifications.assign(std::make_move_iterator(kept.rbegin()),
                       std::make_move_iterator(kept.rend()));
}

}  // namespace

std::vector<CAPPluginMethod> LocalNotificationsPlugin::methods() {
  using Plugin = LocalNotificationsPlugin;
  std::vector<CAPPluginMethod> table{
      makePluginMethod<&Plugin::schedule>("schedule", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::schedule>("update", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getPending>("getPending", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::cancel>("cancel", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::cancelAll>("cancelAll", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::registerActionTypes>("registerActionTypes", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::areEnabled>("areEnabled", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getDeliveredNotifications>("getDeliveredNotifications",
                                                           CAPPluginReturnPromise),
      makePluginMethod<&Plugin::removeDeliveredNotifications>("removeDeliveredNotifications",
                                                              CAPPluginReturnPromise),
      makePluginMethod<&Plugin::removeDeliveredNotificationsById>(
          "removeDeliveredNotificationsById", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::removeAllDeliveredNotifications>("removeAllDeliveredNotifications",
                                                                 CAPPluginReturnPromise)};
  for (std::string_view name :
       {"createChannel", "deleteChannel", "listChannels", "checkExactNotificationSetting",
        "changeExactNotificationSetting"}) {
    table.push_back(makePluginMethod<&Plugin::androidOnly>(name, CAPPluginReturnPromise));
  }
  return table;
}

void LocalNotificationsPlugin::load() {
  std::weak_ptr<CAPPlugin> self = weak_from_this();
  observation_ = UNUserNotificationCenter::current().addObserver(
      {.willPresent =
           [self](const DeliveredNotification& delivered) {
             if (auto plugin = self.lock()) {
               plugin->notifyListeners(localNotificationReceivedEvent, delivered.notification);
             }
           },
       .didReceive =
           [self](const UNUserNotificationCenter::Response& response) {
             auto plugin = self.lock();
             if (!plugin) return;
             JSObject data{{"actionId", response.actionIdentifier},
                           {"notification", response.notification.notification}};
             if (response.userText) data["inputValue"] = *response.userText;
             plugin->notifyListeners(localNotificationActionPerformedEvent, data, true);
           }});
}

void LocalNotificationsPlugin::checkPermissions(CAPPluginCall call) {
  answerNotificationPermission(call);
}

void LocalNotificationsPlugin::requestPermissions(CAPPluginCall call) {
  requestNotificationPermission(std::move(call));
}

void LocalNotificationsPlugin::schedule(CAPPluginCall call) {
  auto scheduled = decodeScheduledNotifications(call.options(), Date::now());
  if (!scheduled) {
    rejectWith(call, scheduled.reason());
    return;
  }
  std::vector<std::int32_t> ids;
  for (const PendingNotification& notification : *scheduled) ids.push_back(notification.id);
  keepLastOfEachId(*scheduled);
  changeNotificationCenterAndAnswer(
      call,
      [&](NotificationCenterRecord& center) {
        eraseIds(center.pending, ids);
        center.pending.insert(center.pending.end(), scheduled->begin(), scheduled->end());
      },
      [&](const NotificationCenterRecord&) {
        JSObject descriptors = JSObject::array();
        for (std::int32_t id : ids) descriptors.push_back({{"id", id}});
        return JSObject{{"notifications", std::move(descriptors)}};
      });
}

void LocalNotificationsPlugin::getPending(CAPPluginCall call) {
  answerFromNotificationCenter(call, [](const NotificationCenterRecord& center) {
    JSObject notifications = JSObject::array();
    for (const PendingNotification& pending : center.pending) {
      notifications.push_back(pendingJson(pending));
    }
    return JSObject{{"notifications", std::move(notifications)}};
  });
}

void LocalNotificationsPlugin::cancel(CAPPluginCall call) {
  removeNotifications(call, call.options(), &NotificationCenterRecord::pending);
}

void LocalNotificationsPlugin::cancelAll(CAPPluginCall call) {
  changeNotificationCenterAndAnswer(
      call, [](NotificationCenterRecord& center) { center.pending.clear(); });
}

void LocalNotificationsPlugin::registerActionTypes(CAPPluginCall call) {
  const JSObject& options = call.options();
  auto types = options.find("types");
  if (types == options.end() || !types->is_array() ||
      !std::all_of(types->begin(), types->end(), [](const JSObject& type) {
        return type.is_object() && type.contains("id") && type["id"].is_string();
      })) {
    call.reject("Must provide a types array of objects, each with a string id.");
    return;
  }
  changeNotificationCenterAndAnswer(
      call, [&](NotificationCenterRecord& center) { center.actionTypes = *types; });
}

void LocalNotificationsPlugin::areEnabled(CAPPluginCall call) {
  answerFromNotificationCenter(call, [](const NotificationCenterRecord& center) {
    return JSObject{{"value", center.permission == NotificationPermission::granted}};
  });
}

void LocalNotificationsPlugin::getDeliveredNotifications(CAPPluginCall call) {
  answerFromNotificationCenter(call, [](const NotificationCenterRecord& center) {
    JSObject notifications = JSObject::array();
    for (const DeliveredNotification& delivered : center.delivered) {
      notifications.push_back(delivered.notification);
    }
    return JSObject{{"notifications", std::move(notifications)}};
  });
}

void LocalNotificationsPlugin::removeDeliveredNotifications(CAPPluginCall call) {
  removeNotifications(call, call.options(), &NotificationCenterRecord::delivered);
}

void LocalNotificationsPlugin::removeDeliveredNotificationsById(CAPPluginCall call) {
  const JSObject& options = call.options();
  JSObject descriptors = JSObject::array();
  if (auto ids = options.find("ids"); ids != options.end() && ids->is_array()) {
    for (const JSObject& id : *ids) descriptors.push_back({{"id", id}});
  } else {
    call.reject("Must provide an ids array.", "OS-PLUG-LNOT-0012");
    return;
  }
  removeNotifications(call, JSObject{{"notifications", std::move(descriptors)}},
                      &NotificationCenterRecord::delivered);
}

void LocalNotificationsPlugin::removeAllDeliveredNotifications(CAPPluginCall call) {
  changeNotificationCenterAndAnswer(
      call, [](NotificationCenterRecord& center) { center.delivered.clear(); });
}

void LocalNotificationsPlugin::androidOnly(CAPPluginCall call) {
  call.unimplemented();
}

}  // namespace brisklane
