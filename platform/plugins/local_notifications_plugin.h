// The native side of the `LocalNotifications` plug-in
// (@capacitor/local-notifications), answering as its iOS side does. The
// notifications belong to the device's notification centre
// (platform/usernotifications), not to the application's process: pending
// ones survive the application ending and are delivered by the system (the
// widget host) at their moment.
//
// `schedule` and `update` {"notifications":[...]} answer
// {"notifications":[{"id"}]}, a notification of an id already pending
// replacing it; `getPending` {"notifications":[{"id","title","body",
// "schedule"?,"extra"?}]}; `cancel` {"notifications":[{"id"}]} and
// `cancelAll`; `registerActionTypes` {"types"}; `areEnabled` {"value"};
// `getDeliveredNotifications` {"notifications"}, the notifications as they
// were scheduled; `removeDeliveredNotifications` {"notifications":[{"id"}]},
// `removeDeliveredNotificationsById` {"ids"}, `removeAllDeliveredNotifications`;
// `checkPermissions`, `requestPermissions` {"display"}. The methods of the
// Android side only (channels, exact alarms) are not implemented, as on the
// phone.
//
// Events: `localNotificationReceived` (the notification) when one is
// delivered while the application is in front; `localNotificationActionPerformed`
// {"actionId","notification"} ("tap" for the notification itself) when the
// user answers one, held until the first listener comes when there is none
// yet, so that a tap that launched the application reaches the page that
// loads afterwards.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/bridge.h"
#include "platform/capacitor/plugin.h"
#include "platform/usernotifications/user_notification_center.h"

namespace brisklane {

inline constexpr std::string_view localNotificationReceivedEvent = "localNotificationReceived";
inline constexpr std::string_view localNotificationActionPerformedEvent =
    "localNotificationActionPerformed";

class LocalNotificationsPlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "LocalNotificationsPlugin";

  LocalNotificationsPlugin() = default;
  LocalNotificationsPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId,
                           std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  // Starts observing the notification centre.
  void load() override;

  void checkPermissions(CAPPluginCall call) override;
  void requestPermissions(CAPPluginCall call) override;
  void schedule(CAPPluginCall call);
  void getPending(CAPPluginCall call);
  void cancel(CAPPluginCall call);
  void cancelAll(CAPPluginCall call);
  void registerActionTypes(CAPPluginCall call);
  void areEnabled(CAPPluginCall call);
  void getDeliveredNotifications(CAPPluginCall call);
  void removeDeliveredNotifications(CAPPluginCall call);
  void removeDeliveredNotificationsById(CAPPluginCall call);
  void removeAllDeliveredNotifications(CAPPluginCall call);
  void androidOnly(CAPPluginCall call);

 private:
  const std::string identifier_ = "LocalNotificationsPlugin";
  const std::string jsName_ = "LocalNotifications";
  const std::vector<CAPPluginMethod> pluginMethods_ = methods();
  std::unique_ptr<UNUserNotificationCenter::Observation> observation_;

  static std::vector<CAPPluginMethod> methods();
};

}  // namespace brisklane
