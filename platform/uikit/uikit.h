// UIKit's application runtime as far as the application shell uses it: the
// application object and its delegate protocol, responders, view controllers
// and the window, the user-activity record, and `UIApplicationMain`.
//
// Everything here runs on the main thread: the runtime calls the delegate,
// loads views and delivers URLs and user activities there, never elsewhere.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/enum_names.h"
#include "platform/uikit/object_runtime.h"

namespace brisklane {

class UIResponder : public NSObject {};

class UIViewController : public UIResponder {
 public:
  // `initWithNibName:bundle:` and `initWithCoder:`. There are no nib files
  // here: the view is the one `viewDidLoad` sets up.
  UIViewController(const std::optional<std::string>& /*nibName*/,
                   const std::optional<NSBundle>& /*bundle*/) {}
  explicit UIViewController(const NSCoder&) {}

  // Loads the view once, running `viewDidLoad` the first time.
  void loadViewIfNeeded();

 protected:
  virtual void viewDidLoad() {}

 private:
  bool viewLoaded_ = false;
};

class UIWindow : public UIResponder {
 public:
  std::shared_ptr<UIViewController> rootViewController;

  // Shows the window, which loads its root view controller's view.
  void makeKeyAndVisible();
};

// A continued user activity (`NSUserActivity`): its type and, for web
// browsing, the page it carries.
struct NSUserActivity {
  std::string activityType;
  std::optional<std::string> webpageURL;

  friend bool operator==(const NSUserActivity&, const NSUserActivity&) = default;
};

inline constexpr std::string_view NSUserActivityTypeBrowsingWeb = "NSUserActivityTypeBrowsingWeb";

// What the restoration handler of a continued activity receives: the objects
// to restore, or nothing.
using RestorableObjects = std::vector<std::shared_ptr<NSObject>>;
using RestorationHandler = std::function<void(std::optional<RestorableObjects>)>;

class UIApplicationDelegate;

class UIApplication : public UIResponder {
 public:
  // The keys of the options that come with an opened URL.
  enum class OpenURLOptionsKey { sourceApplication, annotation, openInPlace, eventAttribution };
  using OpenURLOptionValue = std::variant<std::string, bool>;
  using OpenURLOptions = std::map<OpenURLOptionsKey, OpenURLOptionValue>;

  // The keys of the launch options.
  enum class LaunchOptionsKey { url, sourceApplication, userActivityType };
  using LaunchOptions = std::map<LaunchOptionsKey, std::string>;

  // `UIApplication.State`: in front and taking events, in front but not
  // taking them (launching, or between the front and the background), or
  // in the background.
  enum class State { active, inactive, background };

  // `UIApplication.shared`: the running application; nullptr before the
  // runtime made it and after it ended. Main thread only.
  [[nodiscard]] static UIApplication* shared();
  // Made the shared application by the runtime (nullptr when it ends).
  static void setShared(UIApplication* application);

  [[nodiscard]] UIApplicationDelegate* delegate() const { return delegate_; }
  void setDelegate(UIApplicationDelegate* delegate) { delegate_ = delegate; }

  [[nodiscard]] State applicationState() const { return state_; }

 private:
  friend class ApplicationLifeCycle;
  UIApplicationDelegate* delegate_ = nullptr;  // owned by the runtime, outlives the application
  State state_ = State::inactive;
};

template <>
inline constexpr auto enumNames<UIApplication::State> =
    namesThrough<UIApplication::State::background>({"active", "inactive", "background"});

// The notifications the runtime posts to the default notification center
// right after it has told the delegate the same.
inline constexpr std::string_view UIApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr std::string_view UIApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr std::string_view UIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr std::string_view UIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr std::string_view UIApplicationWillTerminateNotification =
    "UIApplicationWillTerminateNotification";

// The platform's names of the open-URL option keys, e.g.
// "UIApplicationOpenURLOptionsSourceApplicationKey".
[[nodiscard]] std::string_view rawValue(UIApplication::OpenURLOptionsKey key);
[[nodiscard]] std::optional<UIApplication::OpenURLOptionsKey> openURLOptionsKey(
    std::string_view rawValue);

// `UIApplicationDelegate`. Every operation has the platform's default; a
// delegate overrides what it answers differently.
class UIApplicationDelegate {
 public:
  virtual ~UIApplicationDelegate() = default;

  [[nodiscard]] virtual std::shared_ptr<UIWindow> window() const { return nullptr; }
  // NOLINTNEXTLINE(performance-unnecessary-value-param): the window is a sink for overrides
  virtual void setWindow(std::shared_ptr<UIWindow>) {}

  virtual bool applicationDidFinishLaunchingWithOptions(UIApplication&,
                                                        const UIApplication::LaunchOptions&) {
    return true;
  }
  virtual void applicationWillResignActive(UIApplication&) {}
  virtual void applicationDidEnterBackground(UIApplication&) {}
  virtual void applicationWillEnterForeground(UIApplication&) {}
  virtual void applicationDidBecomeActive(UIApplication&) {}
  virtual void applicationWillTerminate(UIApplication&) {}

  // `application:openURL:options:`
  virtual bool applicationOpenURL(UIApplication&, const std::string& /*url*/,
                                  const UIApplication::OpenURLOptions&) {
    return false;
  }
  // `application:continueUserActivity:restorationHandler:`; the handler is a
  // sink for overrides.
  virtual bool applicationContinueUserActivity(
      UIApplication&, const NSUserActivity&,
      RestorationHandler) {  // NOLINT(performance-unnecessary-value-param)
    return false;
  }
};

// The system's side of the application's life cycle: it moves the
// application between the front and the background and tells the delegate
// each step, in the platform's order, each followed by its notification:
//   launched:     (didFinishLaunching, by the runtime) didBecomeActive
//   launched into the background: (didFinishLaunching) didEnterBackground
//   going home:   willResignActive, didEnterBackground
//   coming back:  willEnterForeground, didBecomeActive
//   ending:       (from the front) willResignActive, didEnterBackground; willTerminate
// A move to where the application already is does nothing. Main thread only.
class ApplicationLifeCycle {
 public:
  explicit ApplicationLifeCycle(UIApplication& application) : application_(application) {}

  // The running application's, for the parts of the simulated device that
  // move it (a page opened alone, hidden or shown); nullptr before the
  // runtime made it and after it ended. Main thread only.
  [[nodiscard]] static ApplicationLifeCycle* current();
  static void setCurrent(ApplicationLifeCycle* lifeCycle);

  void becomeActive();     // at the end of the launch
  void enterBackground();  // the person went home, or launched into the background
  void enterForeground();  // the person brought it back
  void terminate();        // the application ends

 private:
  void tell(UIApplication::State state, void (UIApplicationDelegate::*notice)(UIApplication&),
            std::string_view notification);
  UIApplication& application_;
};

// The application's main interface description: which view controller class
// the window it creates shows at its root. The application registers it once
// before `UIApplicationMain` runs, as its package's settings would.
struct UIMainInterfaceDescription {
  std::string rootViewControllerClassName;
};
bool registerMainInterface(UIMainInterfaceDescription description);
[[nodiscard]] std::optional<UIMainInterfaceDescription> mainInterface();

// The application's entitlements, as its package's code signature would
// carry them: the App Groups whose shared containers it may open. The
// application registers them once before `UIApplicationMain` runs; `App
// --print-entitlements` prints them, so that another program can check that
// it shares the application's group.
struct Entitlements {
  std::vector<std::string> applicationGroups;
};
bool registerEntitlements(Entitlements entitlements);
[[nodiscard]] const Entitlements& entitlements();

// The application's bundle information, as its package's property list
// holds it (`Bundle.main.infoDictionary`): the name shown under its icon
// (CFBundleDisplayName), its identifier (CFBundleIdentifier), the version
// people see (CFBundleShortVersionString) and the build (CFBundleVersion).
// Registered once before `UIApplicationMain` runs; empty values until then.
struct BundleInformation {
  std::string displayName;
  std::string identifier;
  std::string shortVersion;
  std::string version;
};
bool registerBundleInformation(BundleInformation information);
[[nodiscard]] const BundleInformation& mainBundleInformation();

// How the application was launched, beyond the operating system's own
// arguments: the channel on which a web layer reaches the application's web
// view ("stdio", "browser", or none) and, for a browser, where it serves the
// web application. Set once by `UIApplicationMain` before the application
// starts and only read afterwards; empty unless set.
struct LaunchArguments {
  std::vector<std::string> webLayers;
  std::uint16_t port = 0;                    // 0: any free port
  std::filesystem::path webDirectory;        // empty: the bundled sample
  std::filesystem::path nativeBridgeScript;  // empty: found beside the web application
  std::string serverURL;  // a loopback development server to follow; empty: the configuration's
  // Whether this is the device's one application (it holds the instance
  // lock): only then does its launch become the device's launch setup.
  bool isDeviceApplication = false;
};
[[nodiscard]] const LaunchArguments& launchArguments();
void setLaunchArguments(LaunchArguments arguments);

// Ends the application once the work already queued has run, with
// `exitCode` as the process's exit code: for a part of the application that
// cannot go on, such as a web layer that cannot start. Safe from any thread.
void terminateApplication(int exitCode);
// What `terminateApplication` asked for; 0 when nothing did.
[[nodiscard]] int applicationExitCode();

// Runs the application: reads the command line, creates the delegate of the
// class named `delegateClassName`, launches, creates the window from the main
// interface description, then runs the main queue until the application is
// told to end. Never returns: it ends the process with its exit code.
[[noreturn]] int UIApplicationMain(int argc, char** argv,
                                   const std::optional<std::string>& principalClassName,
                                   const std::optional<std::string>& delegateClassName);

}  // namespace brisklane
