#include "platform/plugins/notification_center_calls.h"

#include <utility>

namespace brisklane {

void answerFromNotificationCenter(CAPPluginCall& call, const NotificationCenterAnswer& answer) {
  auto record = readNotificationCenter();
  if (!record) {
    call.reject(record.reason());
    return;
  }
  call.resolve(answer(*record));
}

void changeNotificationCenterAndAnswer(CAPPluginCall& call,
                                       const std::function<void(NotificationCenterRecord&)>& change,
                                       const NotificationCenterAnswer& answer) {
  auto record = changeNotificationCenter(change);
  if (!record) {
    call.reject(record.reason());
    return;
  }
  call.resolve(answer(*record));
}

void answerNotificationPermission(CAPPluginCall& call) {
  answerFromNotificationCenter(call, [](const NotificationCenterRecord& center) {
    return JSObject{{"display", name(center.permission)}};
  });
}

void requestNotificationPermission(CAPPluginCall call) {
  UNUserNotificationCenter::current().requestAuthorization(
      [call = std::move(call)](const Result<NotificationPermission>& permission) mutable {
        if (!permission) {
          call.reject(permission.reason());
          return;
        }
        call.resolve({{"display", name(*permission)}});
      });
}

}  // namespace brisklane
