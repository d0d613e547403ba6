#include "platform/capacitor/app_plugin.h"

#include <iostream>

#include "platform/capacitor/capacitor_configuration.h"
#include "platform/device/application_launch.h"

namespace brisklane {
namespace {

JSObject appUrlOpenData(const ApplicationDelegateProxy::OpenURLNotice& notice) {
  JSObject data{{"url", notice.url}};
  using Key = UIApplication::OpenURLOptionsKey;
  if (auto found = notice.options.find(Key::sourceApplication); found != notice.options.end()) {
    if (const auto* text = std::get_if<std::string>(&found->second)) {
      data["iosSourceApplication"] = *text;
    }
  }
  if (auto found = notice.options.find(Key::openInPlace); found != notice.options.end()) {
    if (const auto* inPlace = std::get_if<bool>(&found->second)) data["iosOpenInPlace"] = *inPlace;
  }
  return data;
}

}  // namespace

void AppPlugin::load() {
  std::weak_ptr<CAPPlugin> self = weak_from_this();
  observation_ = ApplicationDelegateProxy::shared().addObserver(
      {.openURL =
           [self](const ApplicationDelegateProxy::OpenURLNotice& notice) {
             if (auto plugin = self.lock()) {
               plugin->notifyListeners(appUrlOpenEvent, appUrlOpenData(notice), true);
             }
           },
       .universalLink =
           [self](const ApplicationDelegateProxy::UniversalLinkNotice& notice) {
             if (auto plugin = self.lock()) {
               plugin->notifyListeners(appUrlOpenEvent, JSObject{{"url", notice.url}}, true);
             }
           }});

  const struct {
    std::string_view notification;
    std::string_view event;
    JSObject data;
  } lifeCycleEvents[] = {
      {UIApplicationDidBecomeActiveNotification, appStateChangeEvent, {{"isActive", true}}},
      {UIApplicationWillResignActiveNotification, appStateChangeEvent, {{"isActive", false}}},
      {UIApplicationDidEnterBackgroundNotification, pauseEvent, JSObject()},
      {UIApplicationWillEnterForegroundNotification, resumeEvent, JSObject()},
  };
  NotificationCenter& center = NotificationCenter::defaultCenter();
  for (const auto& [notification, event, data] : lifeCycleEvents) {
    lifeCycleObservations_.push_back(center.addObserver(
        std::string(notification), [self, event = std::string(event), data = data] {
          if (auto plugin = self.lock()) plugin->notifyListeners(event, data);
        }));
  }
}

void AppPlugin::heldEventsChanged(std::string_view eventName, const std::vector<JSObject>& held) {
  if (eventName != appUrlOpenEvent || !launchArguments().isDeviceApplication) return;
  std::vector<std::string> urls;
  for (const JSObject& data : held) {
    if (auto url = data.find("url"); url != data.end() && url->is_string()) {
      urls.push_back(url->get<std::string>());
    }
  }
  if (auto recorded = recordWaitingLinks(urls); !recorded) {
    // The host then cannot tell that the links wait; they still reach the page.
    std::cerr << "App: cannot record the waiting links: " << recorded.reason() << std::endl;
  }
}

void AppPlugin::exitApp(CAPPluginCall call) {
  call.unimplemented();
}

void AppPlugin::getInfo(CAPPluginCall call) {
  const BundleInformation& bundle = mainBundleInformation();
  // Syncing a web application into the package writes its configuration's
  // name and identifier into the bundle's information.
  const std::filesystem::path& webDirectory = launchArguments().webDirectory;
  const CapacitorConfiguration configuration =
      webDirectory.empty() ? CapacitorConfiguration{}
                           : readCapacitorConfiguration(webDirectory, [](std::string_view) {});
  call.resolve(
      {{"name", configuration.appName.empty() ? bundle.displayName : configuration.appName},
       {"id", configuration.appId.empty() ? bundle.identifier : configuration.appId},
       {"build", bundle.version},
       {"version", bundle.shortVersion}});
}

void AppPlugin::getAppLanguage(CAPPluginCall call) {
  call.resolve({{"value", deviceLanguage()}});
}

void AppPlugin::getState(CAPPluginCall call) {
  const UIApplication* application = UIApplication::shared();
  call.resolve({{"isActive", application != nullptr &&
                                 application->applicationState() == UIApplication::State::active}});
}

void AppPlugin::minimizeApp(CAPPluginCall call) {
  call.unimplemented();
}

void AppPlugin::toggleBackButtonHandler(CAPPluginCall call) {
  call.unimplemented();
}

void AppPlugin::getLaunchUrl(CAPPluginCall call) {
  if (auto url = ApplicationDelegateProxy::shared().lastURL()) {
    call.resolve({{"url", *url}});
  } else {
    call.resolve();
  }
}

}  // namespace brisklane
