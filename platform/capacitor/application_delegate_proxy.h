// Capacitor's `ApplicationDelegateProxy`: the one place to which an
// application delegate hands opened URLs and continued user activities.
// Whoever cares observes it; the bridge's `App` plug-in does, and passes each
// on to the web layer as its `appUrlOpen` event.
//
// Open URL: every URL is taken (the answer is true) and posted to the
// observers with its options, unchanged. Continue user activity: only a
// web-browsing activity with a page is taken, posted with its page's URL;
// any other answers false and is posted to nobody. The restoration handler
// travels with the notice, so that an observer may call it, now or later.
//
// Used on the main thread, like the delegate that calls it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/observers.h"
#include "platform/uikit/uikit.h"

namespace brisklane {

class ApplicationDelegateProxy {
 public:
  struct OpenURLNotice {
    UIApplication* application;
    std::string url;
    UIApplication::OpenURLOptions options;
  };
  struct UniversalLinkNotice {
    UIApplication* application;
    std::string url;
    NSUserActivity userActivity;
    RestorationHandler restorationHandler;
  };
  struct Observer {
    std::function<void(const OpenURLNotice&)> openURL;
    std::function<void(const UniversalLinkNotice&)> universalLink;
  };

  // Ends its observation when destroyed.
  using Observation = Observers<Observer>::Observation;

  // `ApplicationDelegateProxy.shared`.
  [[nodiscard]] static ApplicationDelegateProxy& shared();

  ApplicationDelegateProxy() = default;
  ApplicationDelegateProxy(const ApplicationDelegateProxy&) = delete;
  ApplicationDelegateProxy& operator=(const ApplicationDelegateProxy&) = delete;

  bool application(UIApplication& application, const std::string& url,
                   const UIApplication::OpenURLOptions& options);
  bool application(UIApplication& application, const NSUserActivity& userActivity,
                   RestorationHandler restorationHandler);

  // The last URL taken, if any.
  [[nodiscard]] std::optional<std::string> lastURL() const;

  [[nodiscard]] std::unique_ptr<Observation> addObserver(Observer observer) {
    return observers_.add(std::move(observer));
  }

 private:
  Observers<Observer> observers_;
  mutable std::mutex mutex_;
  std::optional<std::string> lastURL_;  // under `mutex_`
};

}  // namespace brisklane
