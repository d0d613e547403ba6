// `UIApplicationMain`: the application runtime of a simulated device. It
// reads the command line the way the operating system would launch or reach
// the application, runs the launch sequence, then runs the main queue until
// the application is told to end (end of its stdio web layer, SIGTERM,
// SIGINT or SIGHUP), and ends the process.
//
// `App open URL` and `App continue-activity ...` first try the device's
// running application through its control socket; when none runs, this
// process becomes the application and receives the request right after
// launch.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/dispatch/dispatch_queue.h"
#include "platform/foundation/process_info.h"
#include "platform/uikit/control_socket.h"
#include "platform/uikit/uikit.h"

namespace brisklane {
namespace {

struct CommandLine {
  std::optional<OperatingSystemVersion> osVersion;
  std::vector<std::string> webLayers;
  std::uint16_t port = 0;
  std::filesystem::path webDirectory;
  std::filesystem::path nativeBridgeScript;
  bool controlSocket = true;
  std::optional<SystemRequest> request;
};

void fail(std::string_view message) {
  std::cerr << "App: " << message << std::endl;
}

// A URL as the operating system opens it: a scheme (a letter, then letters,
// digits, "+", "-" or "."), a colon, and no white space or control bytes.
bool looksLikeURL(std::string_view text) {
  size_t colon = text.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (size_t i = 0; i < colon; ++i) {
    char c = text[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!letter && !(i > 0 && other)) return false;
  }
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  return true;
}

// The parsed command line, or the exit code when the process should end now.
std::variant<CommandLine, int> parseCommandLine(int argc, char** argv) {
  CLI::App app{
      "The Brisklane host application on a simulated device ($BRISKLANE_HOME).\n"
      "Without a subcommand it starts and serves its web layer; `open` and\n"
      "`continue-activity` reach the running App, or start one that receives them.",
      "App"};
  std::string osVersion;
  std::string webLayer = "stdio";
  std::uint16_t port = 0;
  std::filesystem::path webDirectory;
  std::filesystem::path nativeBridgeScript;
  bool noControlSocket = false;
  app.add_option(
      "--os-version", osVersion,
      "Simulated system version, e.g. 16.3 (default " + defaultOperatingSystemVersion.text() + ")");
  app.add_option("--web-layer", webLayer,
                 "Where the web layer talks to the bridge: stdio (one message per line on "
                 "standard input and output; the default), browser (serves the web application "
                 "on 127.0.0.1 and prints the page's address) or none")
      ->check(CLI::IsMember({"stdio", "browser", "none"}));
  auto* portOption =
      app.add_option("--port", port, "browser: the port to listen on (default 0: any free port)");
  auto* webDirOption = app.add_option(
      "--web-dir", webDirectory,
      "browser: the built Capacitor web application to serve (its webDir; default: the "
      "bundled sample)");
  auto* nativeBridgeOption = app.add_option(
      "--native-bridge", nativeBridgeScript,
      "browser: Capacitor's native-bridge.js (default: from @capacitor/ios beside the web "
      "application)");
  app.add_flag("--no-control-socket", noControlSocket,
               "Do not listen on $BRISKLANE_HOME/run/App.sock (and do not take the device's "
               "one-App lock)");
  bool printEntitlements = false;
  app.add_flag("--print-entitlements", printEntitlements,
               "Print the application's entitlements as JSON ({\"applicationGroups\":[...]}) and "
               "end, without starting it");

  std::string url, sourceApplication;
  bool openInPlace = false;
  auto* open =
      app.add_subcommand("open", "Open a URL in App, as the system does for a tapped link");
  open->add_option("url", url, "The URL, e.g. brisklane://today")->required();
  open->add_option("--source-application", sourceApplication,
                   "Bundle identifier of the application that opens the URL");
  open->add_flag("--open-in-place", openInPlace, "Ask to open the document in place");

  std::string activityType, webpageURL;
  auto* resume = app.add_subcommand("continue-activity",
                                    "Continue a user activity in App, e.g. a universal link");
  resume->add_option("--type", activityType, "Activity type, e.g. NSUserActivityTypeBrowsingWeb")
      ->required();
  resume->add_option("--url", webpageURL, "The activity's web page URL");
  app.require_subcommand(0, 1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error);
    return code == 0 ? 0 : exitUsage;
  }

  if (printEntitlements) {
    std::cout << nlohmann::json{{"applicationGroups", entitlements().applicationGroups}}.dump()
              << std::endl;
    return 0;
  }

  CommandLine line;
  if (!osVersion.empty()) {
    line.osVersion = OperatingSystemVersion::parse(osVersion);
    if (!line.osVersion) {
      fail("--os-version: not a version: " + osVersion);
      return exitUsage;
    }
  }
  if (webLayer != "browser") {
    for (const auto* option : {portOption, webDirOption, nativeBridgeOption}) {
      if (option->count() > 0) {
        fail(option->get_name() + " needs --web-layer browser");
        return exitUsage;
      }
    }
  }
  if (webLayer != "none") line.webLayers = {webLayer};
  line.port = port;
  line.webDirectory = webDirectory;
  line.nativeBridgeScript = nativeBridgeScript;
  line.controlSocket = !noControlSocket;

  if (open->parsed()) {
    if (!looksLikeURL(url)) {
      fail("open: not a URL: " + url);
      return exitUsage;
    }
    OpenURLRequest request{.url = url, .options = {}};
    using Key = UIApplication::OpenURLOptionsKey;
    if (!sourceApplication.empty()) request.options[Key::sourceApplication] = sourceApplication;
    if (openInPlace) request.options[Key::openInPlace] = true;
    line.request = request;
  } else if (resume->parsed()) {
    if (!webpageURL.empty() && !looksLikeURL(webpageURL)) {
      fail("continue-activity: --url: not a URL: " + webpageURL);
      return exitUsage;
    }
    ContinueUserActivityRequest request{{.activityType = activityType, .webpageURL = {}}};
    if (!webpageURL.empty()) request.userActivity.webpageURL = webpageURL;
    line.request = request;
  }
  return line;
}

// Ends the main queue's run loop on SIGTERM, SIGINT or SIGHUP. A second
// signal ends the process at once.
class EndSignals {
 public:
  explicit EndSignals(boost::asio::io_context& context)
      : signals_(context, SIGTERM, SIGINT, SIGHUP) {
    wait();
  }
  ~EndSignals() {
    boost::system::error_code ignored;
    signals_.cancel(ignored);
  }
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  void wait() {
    signals_.async_wait([this](const boost::system::error_code& error, int) {
      if (error) return;
      if (++received_ > 1) std::_Exit(exitFailure);
      DispatchQueue::main().stop();
      wait();
    });
  }

  boost::asio::signal_set signals_;
  int received_ = 0;
};

void deliver(UIApplication& application, const SystemRequest& request) {
  UIApplicationDelegate* delegate = application.delegate();
  if (const auto* open = std::get_if<OpenURLRequest>(&request)) {
    delegate->applicationOpenURL(application, open->url, open->options);
  } else {
    const auto& activity = std::get<ContinueUserActivityRequest>(request).userActivity;
    delegate->applicationContinueUserActivity(application, activity,
                                              [](const std::optional<RestorableObjects>&) {});
  }
}

UIApplication::LaunchOptions launchOptionsFor(const std::optional<SystemRequest>& request) {
  UIApplication::LaunchOptions options;
  if (!request) return options;
  if (const auto* open = std::get_if<OpenURLRequest>(&*request)) {
    options[UIApplication::LaunchOptionsKey::url] = open->url;
    auto source = open->options.find(UIApplication::OpenURLOptionsKey::sourceApplication);
    if (source != open->options.end() && std::holds_alternative<std::string>(source->second)) {
      options[UIApplication::LaunchOptionsKey::sourceApplication] =
          std::get<std::string>(source->second);
    }
  } else {
    options[UIApplication::LaunchOptionsKey::userActivityType] =
        std::get<ContinueUserActivityRequest>(*request).userActivity.activityType;
  }
  return options;
}

// When the device's App is starting at this moment, its control socket comes
// up shortly: a request is retried for a while before giving up.
Delivery deliverWhileStarting(const SystemRequest& request) {
  Delivery delivery{DeliveryOutcome::noApplication, {}};
  for (int attempt = 0; attempt < 40; ++attempt) {
    delivery = deliverToRunningApplication(request);
    if (delivery.outcome != DeliveryOutcome::noApplication) return delivery;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return delivery;
}

int runApplication(const CommandLine& line, const std::optional<std::string>& principalClassName,
                   const std::optional<std::string>& delegateClassName) {
  std::unique_ptr<ApplicationInstanceLock> instanceLock;
  if (line.controlSocket) {
    if (line.request) {
      Delivery delivery = deliverToRunningApplication(*line.request);
      if (delivery.outcome == DeliveryOutcome::accepted) return 0;
      if (delivery.outcome == DeliveryOutcome::failed) {
        fail("the running App refused the request: " + delivery.detail);
        return exitFailure;
      }
    }
    std::string error;
    instanceLock = ApplicationInstanceLock::acquire(error);
    if (!instanceLock) {
      if (line.request &&
          deliverWhileStarting(*line.request).outcome == DeliveryOutcome::accepted) {
        return 0;
      }
      fail(error);
      return exitFailure;
    }
  }

  if (line.osVersion) setOperatingSystemVersion(*line.osVersion);
  setLaunchArguments({.webLayers = line.webLayers,
                      .port = line.port,
                      .webDirectory = line.webDirectory,
                      .nativeBridgeScript = line.nativeBridgeScript,
                      .isDeviceApplication = instanceLock != nullptr});

  // Heard from the start, so that a signal during launch ends the run loop as
  // soon as it runs rather than the process.
  ::signal(SIGPIPE, SIG_IGN);
  // A write beyond the file-size limit fails (EFBIG) like any failed write,
  // so that a store that cannot grow settles a `set` as failed instead of
  // ending the process.
  ::signal(SIGXFSZ, SIG_IGN);
  EndSignals endSignals(DispatchQueue::main().context());

  std::shared_ptr<NSObject> applicationObject;
  if (principalClassName) {
    applicationObject = instantiateClass(*principalClassName);
  } else {
    applicationObject = std::make_shared<UIApplication>();
  }
  auto application = std::dynamic_pointer_cast<UIApplication>(applicationObject);
  if (!application) {
    fail("no application class named " + principalClassName.value_or("UIApplication"));
    return exitFailure;
  }
  std::shared_ptr<NSObject> delegateObject =
      delegateClassName ? instantiateClass(*delegateClassName) : nullptr;
  auto* delegate = dynamic_cast<UIApplicationDelegate*>(delegateObject.get());
  if (delegate == nullptr) {
    fail("no application delegate class named " + delegateClassName.value_or("(none)"));
    return exitFailure;
  }
  application->setDelegate(delegate);

  std::optional<SystemRequest> pending = line.request;
  if (!delegate->applicationDidFinishLaunchingWithOptions(*application,
                                                          launchOptionsFor(line.request))) {
    pending.reset();  // a launch that declines its URL is not asked to open it
  }

  auto interface = mainInterface();
  auto rootViewController =
      interface ? std::dynamic_pointer_cast<UIViewController>(
                      instantiateClass(interface->rootViewControllerClassName))
                : nullptr;
  if (!rootViewController) {
    fail("the main interface names no view controller class that exists");
    return exitFailure;
  }
  auto window = std::make_shared<UIWindow>();
  window->rootViewController = std::move(rootViewController);
  delegate->setWindow(window);
  // The runtime keeps the window itself only when the delegate does not.
  std::shared_ptr<UIWindow> keptWindow = delegate->window() ? nullptr : window;
  window->makeKeyAndVisible();
  window.reset();
  delegate->applicationDidBecomeActive(*application);

  if (pending) {
    DispatchQueue::main().async(
        [&application, request = *pending] { deliver(*application, request); });
  }

  std::unique_ptr<ControlSocketServer> controlSocket;
  if (instanceLock) {
    std::string error;
    controlSocket = ControlSocketServer::start(
        DispatchQueue::main().context(),
        [&application](SystemRequest request) {
          DispatchQueue::main().async(
              [&application, request = std::move(request)] { deliver(*application, request); });
        },
        error);
    if (!controlSocket) fail(error + "; running without a control socket");
  }

  DispatchQueue::main().run();
  controlSocket.reset();
  DispatchQueue::main().drain();

  delegate->applicationWillResignActive(*application);
  delegate->applicationDidEnterBackground(*application);
  delegate->applicationWillTerminate(*application);
  DispatchQueue::main().drain();

  delegate->setWindow(nullptr);
  keptWindow.reset();
  DispatchQueue::main().drain();
  application->setDelegate(nullptr);
  return applicationExitCode();
}

}  // namespace

int UIApplicationMain(int argc, char** argv, const std::optional<std::string>& principalClassName,
                      const std::optional<std::string>& delegateClassName) {
  int code = 0;
  auto parsed = parseCommandLine(argc, argv);
  if (auto* exitCode = std::get_if<int>(&parsed)) {
    code = *exitCode;
  } else {
    code = runApplication(std::get<CommandLine>(parsed), principalClassName, delegateClassName);
  }
  std::cout.flush();
  std::cerr.flush();
  std::exit(code);
}

}  // namespace brisklane
