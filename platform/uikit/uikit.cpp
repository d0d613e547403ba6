#include "platform/uikit/uikit.h"

#include <array>
#include <atomic>
#include <utility>

#include "platform/dispatch/dispatch_queue.h"

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

LaunchArguments& processLaunchArguments() {
  static LaunchArguments arguments;
  return arguments;
}

std::atomic<int>& terminationStatus() {
  static std::atomic<int> status{0};
  return status;
}

}  // namespace

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

const LaunchArguments& launchArguments() {
  return processLaunchArguments();
}

void setLaunchArguments(LaunchArguments arguments) {
  processLaunchArguments() = std::move(arguments);
}

}  // namespace brisklane
