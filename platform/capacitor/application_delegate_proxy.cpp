#include "platform/capacitor/application_delegate_proxy.h"

namespace brisklane {

ApplicationDelegateProxy& ApplicationDelegateProxy::shared() {
  static ApplicationDelegateProxy proxy;
  return proxy;
}

ApplicationDelegateProxy::Observation::~Observation() {
  std::lock_guard lock(proxy_.mutex_);
  proxy_.observers_.erase(where_);
}

std::unique_ptr<ApplicationDelegateProxy::Observation> ApplicationDelegateProxy::addObserver(
    Observer observer) {
  std::lock_guard lock(mutex_);
  auto where = observers_.insert(observers_.end(), std::move(observer));
  return std::unique_ptr<Observation>(new Observation(*this, where));
}

std::list<ApplicationDelegateProxy::Observer> ApplicationDelegateProxy::observers() const {
  std::lock_guard lock(mutex_);
  return observers_;
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
  for (const Observer& observer : observers()) {
    if (observer.openURL) observer.openURL(notice);
  }
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
  for (const Observer& observer : observers()) {
    if (observer.universalLink) observer.universalLink(notice);
  }
  return true;
}

}  // namespace brisklane
