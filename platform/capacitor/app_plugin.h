// Capacitor's `App` plug-in, answering as its iOS side does. It turns every
// URL and universal link that reaches the application-delegate proxy into
// the `appUrlOpen` event, {"url": ...} with "iosSourceApplication" and
// "iosOpenInPlace" when the options carry them; an event that finds no
// listener is held until the first one comes, so that a link that started
// the application reaches the page that loads afterwards. It turns the
// runtime's life-cycle notifications into `appStateChange` ({"isActive"}:
// on becoming active and on resigning), `pause` (entering the background)
// and `resume` (entering the foreground), which are not held.
//
// `getInfo` answers the bundle's information, `getState` {"isActive"},
// `getAppLanguage` {"value"} the device's language; `exitApp`,
// `minimizeApp` and `toggleBackButtonHandler` are not implemented on the
// phone either and are answered so.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/application_delegate_proxy.h"
#include "platform/capacitor/bridge.h"
#include "platform/capacitor/plugin.h"
#include "platform/foundation/notification_center.h"

namespace brisklane {

inline constexpr std::string_view appUrlOpenEvent = "appUrlOpen";
inline constexpr std::string_view appStateChangeEvent = "appStateChange";
inline constexpr std::string_view pauseEvent = "pause";
inline constexpr std::string_view resumeEvent = "resume";

class AppPlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "AppPlugin";

  AppPlugin() = default;
  AppPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  [[nodiscard]] const std::string& identifier() const override { return identifier_; }
  [[nodiscard]] const std::string& jsName() const override { return jsName_; }
  [[nodiscard]] const std::vector<CAPPluginMethod>& pluginMethods() const override {
    return pluginMethods_;
  }

  // Starts observing the application-delegate proxy.
  void load() override;

  void exitApp(CAPPluginCall call);
  // {"name","id","build","version"} from the bundle's information.
  void getInfo(CAPPluginCall call);
  // {"value"}: the device's preferred language.
  void getAppLanguage(CAPPluginCall call);
  // {"url"}: the last URL the application was opened with (on a cold start,
  // the one that started it); {} when there was none.
  void getLaunchUrl(CAPPluginCall call);
  // {"isActive"}: whether the application is in front and taking events.
  void getState(CAPPluginCall call);
  void minimizeApp(CAPPluginCall call);
  void toggleBackButtonHandler(CAPPluginCall call);

 protected:
  // Keeps the device's record of the links that wait for the page's
  // listener (application_launch.h), when this is the device's application.
  void heldEventsChanged(std::string_view eventName, const std::vector<JSObject>& held) override;

 private:
  const std::string identifier_ = "AppPlugin";
  const std::string jsName_ = "App";
  const std::vector<CAPPluginMethod> pluginMethods_{
      makePluginMethod<&AppPlugin::exitApp>("exitApp", CAPPluginReturnPromise),
      makePluginMethod<&AppPlugin::getInfo>("getInfo", CAPPluginReturnPromise),
      makePluginMethod<&AppPlugin::getAppLanguage>("getAppLanguage", CAPPluginReturnPromise),
      makePluginMethod<&AppPlugin::getLaunchUrl>("getLaunchUrl", CAPPluginReturnPromise),
      makePluginMethod<&AppPlugin::getState>("getState", CAPPluginReturnPromise),
      makePluginMethod<&AppPlugin::minimizeApp>("minimizeApp", CAPPluginReturnPromise),
      makePluginMethod<&AppPlugin::toggleBackButtonHandler>("toggleBackButtonHandler",
                                                            CAPPluginReturnPromise)};
  std::unique_ptr<ApplicationDelegateProxy::Observation> observation_;
  std::vector<std::unique_ptr<NotificationCenter::Observation>> lifeCycleObservations_;
};

}  // namespace brisklane
