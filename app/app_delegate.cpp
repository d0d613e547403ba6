#include "app/app_delegate.h"

#include "platform/capacitor/application_delegate_proxy.h"

namespace brisklane {

bool AppDelegate::applicationDidFinishLaunchingWithOptions(UIApplication&,
                                                           const UIApplication::LaunchOptions&) {
  return true;
}

void AppDelegate::applicationWillResignActive(UIApplication&) {}
void AppDelegate::applicationDidEnterBackground(UIApplication&) {}
void AppDelegate::applicationWillEnterForeground(UIApplication&) {}
void AppDelegate::applicationDidBecomeActive(UIApplication&) {}
void AppDelegate::applicationWillTerminate(UIApplication&) {}

bool AppDelegate::applicationOpenURL(UIApplication& application, const std::string& url,
                                     const UIApplication::OpenURLOptions& options) {
  return ApplicationDelegateProxy::shared().application(application, url, options);
}

bool AppDelegate::applicationContinueUserActivity(UIApplication& application,
                                                  const NSUserActivity& userActivity,
                                                  RestorationHandler restorationHandler) {
  // The wrapper owns its copy of the platform's handler, so the proxy may keep
  // the wrapper and call it after this call has returned.
  RestorationHandler wrapper =
      [handler = std::move(restorationHandler)](std::optional<RestorableObjects> objects) {
        if (handler) handler(std::move(objects));
      };
  return ApplicationDelegateProxy::shared().application(application, userActivity,
                                                        std::move(wrapper));
}

}  // namespace brisklane
