// The notifications a page hands the `LocalNotifications` plug-in, read as
// its iOS side reads them: each an object with an "id" within 32 bits, the
// strings "title" and "body", and an optional "schedule" (see
// platform/usernotifications/notification_trigger.h) that fires at least
// once from now. A notification the plug-in refuses is rejected with its
// own message and code.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "platform/capacitor/bridge_message.h"
#include "platform/usernotifications/user_notification_center.h"

namespace brisklane {

struct PluginRejection {
  std::string message;
  std::string code;

  friend bool operator==(const PluginRejection&, const PluginRejection&) = default;
};

// The notifications of a call's options {"notifications":[...]} as the
// device keeps them pending, in their order, their first moments counted
// from `now`; or why the first refused one is refused.
Result<std::vector<PendingNotification>, PluginRejection> decodeScheduledNotifications(
    const JSObject& options, Date now);

// The ids of {"notifications":[{"id"},...]} (`cancel`, and the delivered
// ones to remove); or why they are not such a list.
Result<std::vector<std::int32_t>, PluginRejection> decodeNotificationIds(const JSObject& options);

}  // namespace brisklane
