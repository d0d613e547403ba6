// The application delegate. It answers the launch with true and creates
// nothing (the window comes from the main interface description), lets the
// life-cycle notices pass, and hands every opened URL and every continued
// user activity to Capacitor's application-delegate proxy unchanged,
// answering what the proxy answers.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/uikit/uikit.h"

namespace brisklane {

class AppDelegate : public UIResponder, public UIApplicationDelegate {
 public:
  static constexpr std::string_view className = "AppDelegate";

  [[nodiscard]] std::shared_ptr<UIWindow> window() const override { return window_; }
  void setWindow(std::shared_ptr<UIWindow> window) override { window_ = std::move(window); }

  bool applicationDidFinishLaunchingWithOptions(
      UIApplication& application, const UIApplication::LaunchOptions& options) override;
  void applicationWillResignActive(UIApplication& application) override;
  void applicationDidEnterBackground(UIApplication& application) override;
  void applicationWillEnterForeground(UIApplication& application) override;
  void applicationDidBecomeActive(UIApplication& application) override;
  void applicationWillTerminate(UIApplication& application) override;

  bool applicationOpenURL(UIApplication& application, const std::string& url,
                          const UIApplication::OpenURLOptions& options) override;
  bool applicationContinueUserActivity(UIApplication& application,
                                       const NSUserActivity& userActivity,
                                       RestorationHandler restorationHandler) override;

 private:
  std::shared_ptr<UIWindow> window_;  // absent until the runtime sets it
};

}  // namespace brisklane
