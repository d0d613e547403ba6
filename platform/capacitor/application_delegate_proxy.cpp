#include "platform/capacitor/application_delegate_proxy.h"

namespace brisklane {

ApplicationDelegateProxy& ApplicationDelegateProxy::shared() {
  static ApplicationDelegateProxy proxy;
  return proxy;
}

std::optional<std::string> ApplicationDelegateProxy::lastURL() const {
  std::lock_guard lock(mutex_);
  return lastURL_;
}

bool ApplicationDelegateProxy::application(UIApplication& application, const std::string& url,
                                           const UIApplication::OpenURLOptions& options) {
  {
    std::lock_guard lock(mutex_);
    lastURL_ = url;
  }
  OpenURLNotice notice{.application = &application, .url = url, .options = options};
  observers_.notify([&notice](const Observer& observer) {
    if (observer.openURL) observer.openURL(notice);
  });
  return true;
}

bool ApplicationDelegateProxy::application(UIApplication& application,
                                           const NSUserActivity& userActivity,
                                           RestorationHandler restorationHandler) {
  if (userActivity.activityType != NSUserActivityTypeBrowsingWeb || !userActivity.webpageURL) {
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    lastURL_ = *userActivity.webpageURL;
  }
  UniversalLinkNotice notice{.application = &application,
                             .url = *userActivity.webpageURL,
                             .userActivity = userActivity,
                             .restorationHandler = std::move(restorationHandler)};
  observers_.notify([&notice](const Observer& observer) {
    if (observer.universalLink) observer.universalLink(notice);
  });
  return true;
}

}  // namespace brisklane
