#include "platform/uikit/uikit.h"

#include <array>
#include <atomic>
#include <utility>

#include "platform/dispatch/dispatch_queue.h"
#include "platform/foundation/notification_center.h"

namespace brisklane {
namespace {

constexpr std::array openURLOptionsKeyNames{
    std::pair{UIApplication::OpenURLOptionsKey::sourceApplication,
              std::string_view("UIApplicationOpenURLOptionsSourceApplicationKey")},
    std::pair{UIApplication::OpenURLOptionsKey::annotation,
              std::string_view("UIApplicationOpenURLOptionsAnnotationKey")},
    std::pair{UIApplication::OpenURLOptionsKey::openInPlace,
              std::string_view("UIApplicationOpenURLOptionsOpenInPlaceKey")},
    std::pair{UIApplication::OpenURLOptionsKey::eventAttribution,
              std::string_view("UIApplicationOpenURLOptionsEventAttributionKey")},
};

// These are written once before the application starts and read afterwards.
std::optional<UIMainInterfaceDescription>& registeredMainInterface() {
  static std::optional<UIMainInterfaceDescription> description;
  return description;
}

std::optional<Entitlements>& registeredEntitlements() {
  static std::optional<Entitlements> entitlements;
  return entitlements;
}

std::optional<BundleInformation>& registeredBundleInformation() {
  static std::optional<BundleInformation> information;
  return information;
}

LaunchArguments& processLaunchArguments() {
  static LaunchArguments arguments;
  return arguments;
}

std::atomic<int>& terminationStatus() {
  static std::atomic<int> status{0};
  return status;
}

UIApplication*& sharedApplication() {
  static UIApplication* application = nullptr;
  return application;
}

ApplicationLifeCycle*& currentLifeCycle() {
  static ApplicationLifeCycle* lifeCycle = nullptr;
  return lifeCycle;
}

}  // namespace

ApplicationLifeCycle* ApplicationLifeCycle::current() {
  return currentLifeCycle();
}

void ApplicationLifeCycle::setCurrent(ApplicationLifeCycle* lifeCycle) {
  currentLifeCycle() = lifeCycle;
}

UIApplication* UIApplication::shared() {
  return sharedApplication();
}

void UIApplication::setShared(UIApplication* application) {
  sharedApplication() = application;
}

void ApplicationLifeCycle::tell(UIApplication::State state,
                                void (UIApplicationDelegate::*notice)(UIApplication&),
                                std::string_view notification) {
  application_.state_ = state;
  if (UIApplicationDelegate* delegate = application_.delegate()) (delegate->*notice)(application_);
  NotificationCenter::defaultCenter().post(notification);
}

void ApplicationLifeCycle::becomeActive() {
  if (application_.state_ != UIApplication::State::inactive) return;
  tell(UIApplication::State::active, &UIApplicationDelegate::applicationDidBecomeActive,
       UIApplicationDidBecomeActiveNotification);
}

void ApplicationLifeCycle::enterBackground() {
  if (application_.state_ == UIApplication::State::background) return;
  if (application_.state_ == UIApplication::State::active) {
    tell(UIApplication::State::inactive, &UIApplicationDelegate::applicationWillResignActive,
         UIApplicationWillResignActiveNotification);
  }
  tell(UIApplication::State::background, &UIApplicationDelegate::applicationDidEnterBackground,
       UIApplicationDidEnterBackgroundNotification);
}

void ApplicationLifeCycle::enterForeground() {
  if (application_.state_ != UIApplication::State::background) return;
  tell(UIApplication::State::inactive, &UIApplicationDelegate::applicationWillEnterForeground,
       UIApplicationWillEnterForegroundNotification);
  tell(UIApplication::State::active, &UIApplicationDelegate::applicationDidBecomeActive,
       UIApplicationDidBecomeActiveNotification);
}

void ApplicationLifeCycle::terminate() {
  enterBackground();
  tell(UIApplication::State::background, &UIApplicationDelegate::applicationWillTerminate,
       UIApplicationWillTerminateNotification);
}

void terminateApplication(int exitCode) {
  terminationStatus().store(exitCode);
  DispatchQueue::main().stop();
}

int applicationExitCode() {
  return terminationStatus().load();
}

void UIViewController::loadViewIfNeeded() {
  if (viewLoaded_) return;
  viewLoaded_ = true;
  viewDidLoad();
}

void UIWindow::makeKeyAndVisible() {
  if (rootViewController) rootViewController->loadViewIfNeeded();
}

std::string_view rawValue(UIApplication::OpenURLOptionsKey key) {
  for (auto [candidate, name] : openURLOptionsKeyNames) {
    if (candidate == key) return name;
  }
  return {};
}

std::optional<UIApplication::OpenURLOptionsKey> openURLOptionsKey(std::string_view name) {
  for (auto [key, candidate] : openURLOptionsKeyNames) {
    if (candidate == name) return key;
  }
  return std::nullopt;
}

bool registerMainInterface(UIMainInterfaceDescription description) {
  auto& registered = registeredMainInterface();
  if (registered) return false;
  registered = std::move(description);
  return true;
}

std::optional<UIMainInterfaceDescription> mainInterface() {
  return registeredMainInterface();
}

bool registerEntitlements(Entitlements entitlements) {
  auto& registered = registeredEntitlements();
  if (registered) return false;
  registered = std::move(entitlements);
  return true;
}

const Entitlements& entitlements() {
  static const Entitlements none;
  const auto& registered = registeredEntitlements();
  return registered ? *registered : none;
}

bool registerBundleInformation(BundleInformation information) {
  registeredBundleInformation() = std::move(information);
  return true;
}

const BundleInformation& mainBundleInformation() {
  static const BundleInformation none;
  const auto& registered = registeredBundleInformation();
  return registered ? *registered : none;
}

const LaunchArguments& launchArguments() {
  return processLaunchArguments();
}

void setLaunchArguments(LaunchArguments arguments) {
  processLaunchArguments() = std::move(arguments);
}

}  // namespace brisklane
