#include "platform/capacitor/app_plugin.h"

#include "platform/uikit/application_launch.h"

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
}

void AppPlugin::heldEventsChanged(std::string_view eventName, const std::vector<JSObject>& held) {
  if (eventName != appUrlOpenEvent || !launchArguments().isDeviceApplication) return;
  std::vector<std::string> urls;
  for (const JSObject& data : held) {
    if (auto url = data.find("url"); url != data.end() && url->is_string()) {
      urls.push_back(url->get<std::string>());
    }
  }
  recordWaitingLinks(urls);
}

void AppPlugin::getLaunchUrl(CAPPluginCall call) {
  if (auto url = ApplicationDelegateProxy::shared().lastURL()) {
    call.resolve({{"url", *url}});
  } else {
    call.resolve();
  }
}

}  // namespace brisklane
