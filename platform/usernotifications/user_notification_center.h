// The device's notification centre, as the phone's system keeps it for the
// application: whether the user allows its notifications, the number on its
// icon, the categories of actions it registered, the notifications it asked
// for that have not come yet (pending) and those that have (delivered). It
// lives in the device folder, `$BRISKLANE_HOME/notification-center.json`,
// not in the application's process, so it survives the application ending:
//
//   {"permission":"prompt","permissionAlert":null,"badge":0,"actionTypes":[...],
//    "pending":[{"id":7,"moment":"2026-12-10T12:00:00.000Z","notification":{...}}],
//    "delivered":[{"id":6,"deliveredAt":"...","notification":{...},"heard":false}]}
//
// "notification" is the notification as the application handed it over, so
// that every answer gives back what was asked for. "heard" tells whether a
// page has had the notification (as an event) since it was delivered.
// "permissionAlert" is the system's alert that asks the user to allow the
// application's notifications, {"processIdentifier":4242} while it waits
// for an answer to the application that asked, else null.
//
// Two programs change it, the application (scheduling, the badge) and the
// widget host (delivering): each change reads, changes and writes the record
// whole under the lock `notification-center.lock`, and the write is atomic,
// so that a reader never sees part of one and no change is lost.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/enum_names.h"
#include "base/result.h"
#include "platform/foundation/date.h"

namespace brisklane {

// The user's answer for the application's notifications, a setting of the
// device: "prompt" until asked.
enum class NotificationPermission { prompt, granted, denied };
template <>
inline constexpr auto enumNames<NotificationPermission> =
    namesThrough<NotificationPermission::denied>({"prompt", "granted", "denied"});

// The system's alert asking the user to allow the application's
// notifications, shown while the application that asked runs.
struct PermissionAlert {
  std::int64_t processIdentifier = 0;  // the application that asked

  friend bool operator==(const PermissionAlert&, const PermissionAlert&) = default;
};

struct PendingNotification {
  std::int32_t id = 0;
  Date moment;                          // when the system delivers it next
  nlohmann::ordered_json notification;  // as the application gave it

  friend bool operator==(const PendingNotification&, const PendingNotification&) = default;
};

struct DeliveredNotification {
  std::int32_t id = 0;
  Date deliveredAt;
  nlohmann::ordered_json notification;
  bool heard = false;  // a page has had it as an event

  friend bool operator==(const DeliveredNotification&, const DeliveredNotification&) = default;
};

struct NotificationCenterRecord {
  NotificationPermission permission = NotificationPermission::prompt;
  std::optional<PermissionAlert> permissionAlert;  // only while the permission is "prompt"
  std::int64_t badge = 0;  // the number on the application's icon; 0 shows none
  nlohmann::ordered_json actionTypes = nlohmann::ordered_json::array();
  std::vector<PendingNotification> pending;      // soonest first
  std::vector<DeliveredNotification> delivered;  // oldest first

  friend bool operator==(const NotificationCenterRecord&,
                         const NotificationCenterRecord&) = default;
};

[[nodiscard]] std::filesystem::path notificationCenterPath();

[[nodiscard]] std::string encodeNotificationCenter(const NotificationCenterRecord& record);
// The record in `json`, or why it is not one.
Result<NotificationCenterRecord> decodeNotificationCenter(std::string_view json);

// The device's record; a fresh one when the device has none yet; why not
// when it cannot be read or is not one.
Result<NotificationCenterRecord> readNotificationCenter();

// Applies `change` to the device's record and writes it back, under the
// lock; the record as written, or why it could not be read or written (the
// record is then left as it was).
Result<NotificationCenterRecord> changeNotificationCenter(
    const std::function<void(NotificationCenterRecord&)>& change);

// Keeps `pending` soonest first (equal moments in the order they came).
void sortPending(std::vector<PendingNotification>& pending);

}  // namespace brisklane

#include <memory>
#include <vector>

#include "base/observers.h"

namespace brisklane {

// `UNUserNotificationCenter.current()` in the application: where the system
// tells the application of its notifications, and whoever cares observes
// it (the `LocalNotifications` plug-in). The system reaches it through the
// application's control socket: a notification delivered while the
// application is in front is presented to it ("willPresent"), the user's
// answer to one, a tap or an action, is its response ("didReceive"), and
// the user's answer to the permission alert ends the application's
// requests for authorization. Used on the main thread.
class UNUserNotificationCenter {
 public:
  struct Response {
    DeliveredNotification notification;
    std::string actionIdentifier;  // "tap" for a tap on the notification itself
    std::optional<std::string> userText;
  };
  struct Observer {
    std::function<void(const DeliveredNotification&)> willPresent;
    std::function<void(const Response&)> didReceive;
  };
  using Observation = Observers<Observer>::Observation;
  // The user's answer, or why the device's record cannot be read or written.
  using AuthorizationCompletion = std::function<void(const Result<NotificationPermission>&)>;

  [[nodiscard]] static UNUserNotificationCenter& current();

  UNUserNotificationCenter() = default;
  UNUserNotificationCenter(const UNUserNotificationCenter&) = delete;
  UNUserNotificationCenter& operator=(const UNUserNotificationCenter&) = delete;

  [[nodiscard]] std::unique_ptr<Observation> addObserver(Observer observer) {
    return observers_.add(std::move(observer));
  }

  // Asks the user to allow the application's notifications (and the number
  // on its icon). A device that has been asked completes at once with its
  // answer; on one that has not, the system shows its alert, naming this
  // process in the record's "permissionAlert", and `completion` runs when
  // the user has answered (authorizationAnswered), however many requests
  // wait for that one alert.
  void requestAuthorization(AuthorizationCompletion completion);

  // The system's side: the user answered the alert with `answer` (already
  // in the device's record); every request waiting for it completes.
  void authorizationAnswered(NotificationPermission answer);

  // The system's side: the delivered notification `id`, presented (it
  // stays in the delivered list) or answered (it leaves it); false when the
  // device has delivered none of that id.
  bool present(std::int32_t id);
  bool receive(std::int32_t id, std::string actionIdentifier, std::optional<std::string> userText);

 private:
  Observers<Observer> observers_;
  std::vector<AuthorizationCompletion> waitingForAuthorization_;
};

// The delivered notification `id` of the device's record, marked heard (a
// page is about to have it), or, once the user has answered it, taken out
// of the delivered list, as the phone clears a notification that was
// tapped; nothing when there is none.
enum class Answered { no, yes };
[[nodiscard]] std::optional<DeliveredNotification> takeDeliveredNotification(std::int32_t id,
                                                                             Answered answered);

}  // namespace brisklane
