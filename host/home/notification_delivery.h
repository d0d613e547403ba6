// The system's part for the application's local notifications: the widget
// host, which plays the phone's system, delivers each pending notification
// of the device's notification centre once the host's clock has passed its
// moment (a repeating one stays pending at its next moment), and tells the
// device page what the centre holds, for the lock screen, the banner, the
// list of pending notifications and the badge on the application's icon.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/usernotifications/user_notification_center.h"

namespace brisklane {

// One action the user may take on a delivered notification, of the action
// type the application registered (registerActionTypes) under the
// notification's "actionTypeId".
struct NotificationAction {
  std::string id;
  std::string title;
  bool foreground = false;  // brings the application to the front
  bool destructive = false;
  bool input = false;  // the user types a text and sends it
  std::string inputButtonTitle;
  std::string inputPlaceholder;

  friend bool operator==(const NotificationAction&, const NotificationAction&) = default;
};

// The actions of `notification` (as the application gave it) in the
// registered `actionTypes`, in their order; none when its type is not
// registered. Entries without a text id and title are passed over.
[[nodiscard]] std::vector<NotificationAction> notificationActions(
    const nlohmann::ordered_json& actionTypes, const nlohmann::ordered_json& notification);

// Delivers every pending notification whose moment is `now` or earlier
// (unless the user has not allowed the application's notifications, when
// the moment passes unseen, as on the phone); what it delivered, oldest
// first, or why the record could not be changed.
// A notification whose moments have passed many times over while nobody
// delivered it is delivered once.
Result<std::vector<DeliveredNotification>> deliverDueNotifications(Date now);

// What the device page shows of `record`, with `runningApplication` the
// process of the application that runs now (0: none):
//   {"permission","permissionAlert","badge","pending":[{"id","title","body","moment"}],
//    "delivered":[{"id","title","body","deliveredAt","heard","actions":[{"id","title",
//                  "foreground","destructive","input","inputButtonTitle","inputPlaceholder"}]}]}
// "permissionAlert" is true while the permission alert waits for the user's
// answer to the application that runs: the alert goes with the application
// that asked.
[[nodiscard]] nlohmann::ordered_json notificationCenterJson(const NotificationCenterRecord& record,
                                                            std::int64_t runningApplication);

}  // namespace brisklane
