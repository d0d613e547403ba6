// How the plug-ins whose state is the device's notification centre
// (`LocalNotifications`, `Badge`) answer a call from it: read or changed
// under its lock, the answer built from the record, and a centre that
// cannot be read or written rejecting the call with why.
#pragma once

#include <functional>

#include "platform/capacitor/plugin.h"
#include "platform/usernotifications/user_notification_center.h"

namespace brisklane {

using NotificationCenterAnswer = std::function<JSObject(const NotificationCenterRecord&)>;

// Resolves `call` with `answer` of the device's record.
void answerFromNotificationCenter(CAPPluginCall& call, const NotificationCenterAnswer& answer);

// Applies `change`, then resolves `call` with `answer` of the record as
// written (by default without data).
void changeNotificationCenterAndAnswer(
    CAPPluginCall& call, const std::function<void(NotificationCenterRecord&)>& change,
    const NotificationCenterAnswer& answer = [](const NotificationCenterRecord&) {
      return JSObject();
    });

// `checkPermissions` and `requestPermissions`: {"display"}, the device's
// notification permission (which the badge shares); a request that finds
// the user not asked yet is answered once the user has answered the
// system's alert.
void answerNotificationPermission(CAPPluginCall& call);
void requestNotificationPermission(CAPPluginCall call);

}  // namespace brisklane
