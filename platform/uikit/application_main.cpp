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
#include <sstream>
#include <thread>
#include <variant>

#include "platform/device/device_folder.h"
#include "platform/dispatch/dispatch_queue.h"
#include "platform/foundation/operating_system_version_option.h"
#include "platform/foundation/process_info.h"
#include "platform/uikit/control_socket.h"
#include "platform/uikit/uikit.h"
#include "platform/usernotifications/user_notification_center.h"
#include "platform/web/loopback_origin.h"

namespace brisklane {
namespace {

struct CommandLine {
  std::vector<std::string> webLayers;
  std::uint16_t port = 0;
  std::filesystem::path webDirectory;
  std::filesystem::path nativeBridgeScript;
  std::string serverURL;
  bool controlSocket = true;
  bool launchInBackground = false;
  std::optional<SystemRequest> request;
  std::optional<LifeCycleMove> move;  // `background` or `foreground`: only asks the running App
};

// The command line as CLI11 reads it, before it is checked. CLI11 writes
// into these fields, so the value stays where it was made until the parse.
struct GivenArguments {
  std::string webLayer = "stdio";
  std::uint16_t port = 0;
  std::filesystem::path webDirectory;
  std::filesystem::path nativeBridgeScript;
  std::string serverURL;
  std::vector<const CLI::Option*> browserOptions;  // valid with --web-layer browser only
  bool noControlSocket = false;
  bool launchInBackground = false;
  bool printEntitlements = false;

  const CLI::App* open = nullptr;
  std::string url;
  std::string sourceApplication;
  bool openInPlace = false;

  const CLI::App* resume = nullptr;
  std::string activityType;
  std::string webpageURL;

  const CLI::App* background = nullptr;
  const CLI::App* foreground = nullptr;
};

// How the process ends: its exit code, and what it says last on standard
// output and on standard error.
struct Exit {
  int code;
  std::string output;
  std::string error;
};

// What a step of the start answers: a value to go on with, or the end of the
// process now, which may be a success (a request handed to the running
// application, the entitlements printed).
template <class T>
using ValueOrExit = std::variant<T, Exit>;

// The end of a run that failed for `reason`, said the way this program says it.
Exit failed(int code, std::string_view reason) {
  return Exit{.code = code, .output = {}, .error = "App: " + std::string(reason) + "\n"};
}

// Says on standard error what goes wrong while the application runs on.
void warn(std::string_view message) {
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

void addLaunchOptions(CLI::App& app, GivenArguments& given) {
  app.add_option("--web-layer", given.webLayer,
                 "Where the web layer talks to the bridge: stdio (one message per line on "
                 "standard input and output; the default), browser (serves the web application "
                 "on 127.0.0.1 and prints the page's address) or none")
      ->check(CLI::IsMember({"stdio", "browser", "none"}));
  given.browserOptions = {
      app.add_option("--port", given.port,
                     "browser: the port to listen on (default 0: any free port)"),
      app.add_option("--web-dir", given.webDirectory,
                     "browser: the built Capacitor web application to serve (its webDir; "
                     "default: the bundled sample)"),
      app.add_option("--native-bridge", given.nativeBridgeScript,
                     "browser: Capacitor's native-bridge.js (default: from @capacitor/ios beside "
                     "the web application)"),
      app.add_option("--server-url", given.serverURL,
                     "browser: a development server on this machine (http://127.0.0.1:PORT, "
                     "http://localhost:PORT or http://[::1]:PORT) whose pages App serves at its "
                     "own origin, live reload included (default: server.url of "
                     "capacitor.config.json, else the web application's files)"),
  };
  app.add_flag("--no-control-socket", given.noControlSocket,
               "Do not listen on $BRISKLANE_HOME/run/App.sock (and do not take the device's "
               "one-App lock)");
  app.add_flag("--launch-in-background", given.launchInBackground,
               "Start in the background, as the system launches an app for a notification's "
               "action that does not open it");
  app.add_flag("--print-entitlements", given.printEntitlements,
               "Print the application's entitlements as JSON ({\"applicationGroups\":[...]}) and "
               "end, without starting it");
}

void addRequestCommands(CLI::App& app, GivenArguments& given) {
  auto* open =
      app.add_subcommand("open", "Open a URL in App, as the system does for a tapped link");
  open->add_option("url", given.url, "The URL, e.g. brisklane://today")->required();
  open->add_option("--source-application", given.sourceApplication,
                   "Bundle identifier of the application that opens the URL");
  open->add_flag("--open-in-place", given.openInPlace, "Ask to open the document in place");
  given.open = open;

  auto* resume = app.add_subcommand("continue-activity",
                                    "Continue a user activity in App, e.g. a universal link");
  resume
      ->add_option("--type", given.activityType,
                   "Activity type, e.g. NSUserActivityTypeBrowsingWeb")
      ->required();
  resume->add_option("--url", given.webpageURL, "The activity's web page URL");
  given.resume = resume;

  given.background = app.add_subcommand(
      "background", "Send the running App to the background, as going home does");
  given.foreground = app.add_subcommand(
      "foreground", "Bring the running App back to the front, as tapping its icon does");
  app.require_subcommand(0, 1);
}

// The launch settings the arguments give, or why they do not fit together.
Result<CommandLine> readLaunchOptions(const GivenArguments& given) {
  if (given.webLayer != "browser") {
    for (const auto* option : given.browserOptions) {
      if (option->count() > 0) return Failure{option->get_name() + " needs --web-layer browser"};
    }
  }
  CommandLine line;
  if (given.webLayer != "none") line.webLayers = {given.webLayer};
  line.port = given.port;
  line.webDirectory = given.webDirectory;
  line.nativeBridgeScript = given.nativeBridgeScript;
  if (!given.serverURL.empty() && !loopbackOrigin(given.serverURL)) {
    return Failure{
        "--server-url: App follows only a development server on this machine's "
        "loopback address (http://127.0.0.1:PORT, http://localhost:PORT or "
        "http://[::1]:PORT), not " +
        given.serverURL};
  }
  line.serverURL = given.serverURL;
  line.controlSocket = !given.noControlSocket;
  line.launchInBackground = given.launchInBackground;
  return line;
}

// Reads the request of `open` or `continue-activity`, when one was given;
// or why its URL is not one.
Status readRequest(const GivenArguments& given, CommandLine& line) {
  if (given.open->parsed()) {
    if (!looksLikeURL(given.url)) return Failure{"open: not a URL: " + given.url};
    OpenURLRequest request{.url = given.url, .options = {}};
    using Key = UIApplication::OpenURLOptionsKey;
    if (!given.sourceApplication.empty()) {
      request.options[Key::sourceApplication] = given.sourceApplication;
    }
    if (given.openInPlace) request.options[Key::openInPlace] = true;
    line.request = request;
  } else if (given.resume->parsed()) {
    if (!given.webpageURL.empty() && !looksLikeURL(given.webpageURL)) {
      return Failure{"continue-activity: --url: not a URL: " + given.webpageURL};
    }
    ContinueUserActivityRequest request{{.activityType = given.activityType, .webpageURL = {}}};
    if (!given.webpageURL.empty()) request.userActivity.webpageURL = given.webpageURL;
    line.request = request;
  } else if (given.background->parsed()) {
    line.move = LifeCycleMove::background;
  } else if (given.foreground->parsed()) {
    line.move = LifeCycleMove::foreground;
  }
  return {};
}

// The parsed command line, or how the process ends now. A system version
// given takes effect here.
ValueOrExit<CommandLine> parseCommandLine(int argc, char** argv) {
  CLI::App app{
      "The Brisklane host application on a simulated device ($BRISKLANE_HOME).\n"
      "Without a subcommand it starts and serves its web layer; `open` and\n"
      "`continue-activity` reach the running App, or start one that receives them;\n"
      "`background` and `foreground` move the running App as going home and back do.",
      "App"};
  GivenArguments given;
  OperatingSystemVersionOption osVersion(app, "16.3");
  addLaunchOptions(app, given);
  addRequestCommands(app, given);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::ostringstream out, err;
    int code = app.exit(error, out, err);
    return Exit{
        .code = code == 0 ? exitSuccess : exitUsage, .output = out.str(), .error = err.str()};
  }

  if (given.printEntitlements) {
    return Exit{
        .code = exitSuccess,
        .output =
            nlohmann::json{{"applicationGroups", entitlements().applicationGroups}}.dump() + "\n",
        .error = {}};
  }
  if (auto applied = osVersion.apply(); !applied) {
    return failed(exitUsage, applied.reason());
  }
  Result<CommandLine> line = readLaunchOptions(given);
  if (!line) return failed(exitUsage, line.reason());
  if (auto read = readRequest(given, *line); !read) {
    return failed(exitUsage, read.reason());
  }
  return *std::move(line);
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

// Serves one request of the system's on the main thread. A URL or an
// activity brings the application to the front before its delegate gets it,
// as on the phone, so that the page hears `resume` before `appUrlOpen`.
SystemAnswer deliver(UIApplication& application, ApplicationLifeCycle& lifeCycle,
                     const SystemRequest& request) {
  UIApplicationDelegate* delegate = application.delegate();
  SystemAnswer answer{.accepted = true, .error = {}, .applicationState = {}};
  if (const auto* open = std::get_if<OpenURLRequest>(&request)) {
    lifeCycle.enterForeground();
    answer.accepted = delegate->applicationOpenURL(application, open->url, open->options);
  } else if (const auto* resume = std::get_if<ContinueUserActivityRequest>(&request)) {
    lifeCycle.enterForeground();
    answer.accepted = delegate->applicationContinueUserActivity(
        application, resume->userActivity, [](const std::optional<RestorableObjects>&) {});
  } else if (const auto* notification = std::get_if<NotificationRequest>(&request)) {
    UNUserNotificationCenter& center = UNUserNotificationCenter::current();
    if (notification->actionIdentifier.empty()) {
      answer.accepted = center.present(notification->id);
    } else {
      if (notification->foreground) lifeCycle.enterForeground();
      answer.accepted =
          center.receive(notification->id, notification->actionIdentifier, notification->userText);
    }
    if (!answer.accepted) answer.error = "the device delivered no such notification";
  } else if (const auto* permission = std::get_if<NotificationPermissionAnswer>(&request)) {
    UNUserNotificationCenter::current().authorizationAnswered(permission->answer);
  } else if (const auto* move = std::get_if<LifeCycleRequest>(&request)) {
    if (move->move == LifeCycleMove::background) {
      lifeCycle.enterBackground();
    } else {
      lifeCycle.enterForeground();
    }
  }
  if (!answer.accepted && answer.error.empty()) answer.error = "the application declined it";
  answer.applicationState = application.applicationState();
  return answer;
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
  } else if (const auto* resume = std::get_if<ContinueUserActivityRequest>(&*request)) {
    options[UIApplication::LaunchOptionsKey::userActivityType] = resume->userActivity.activityType;
  }
  return options;
}

// Makes this process the device's application, unless a request given on
// the command line reaches the one already running. The lock, nullptr
// without a control socket; or how the process ends now.
ValueOrExit<std::unique_ptr<ApplicationInstanceLock>> claimDevice(const CommandLine& line) {
  const Exit delivered{.code = exitSuccess, .output = {}, .error = {}};
  if (!line.controlSocket) return std::unique_ptr<ApplicationInstanceLock>();
  if (line.request) {
    const auto answer = deliverToRunningApplication(*line.request);
    if (answer && *answer) return delivered;
    if (answer)
      return failed(exitFailure, "the running App refused the request: " + answer->reason());
  }
  auto instanceLock = ApplicationInstanceLock::acquire();
  // Another App holds the device without a socket that answers: it is
  // starting, and its socket comes up shortly, or ending, and lets the
  // device go. A request waits a while for either.
  for (int attempt = 0; !instanceLock && line.request && attempt < 100; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto answer = deliverToRunningApplication(*line.request);
    if (answer && *answer) return delivered;
    if (!answer) instanceLock = ApplicationInstanceLock::acquire();
  }
  if (instanceLock) return *std::move(instanceLock);
  return failed(exitFailure, instanceLock.reason());
}

// The objects the runtime holds for the application while it runs.
struct ApplicationObjects {
  std::shared_ptr<UIApplication> application;
  std::unique_ptr<ApplicationLifeCycle> lifeCycle;  // application's
  std::shared_ptr<NSObject> delegateObject;
  UIApplicationDelegate* delegate = nullptr;  // delegateObject's
  std::shared_ptr<UIWindow> keptWindow;       // the window, when the delegate does not keep it
};

// Creates the application and its delegate from the classes named; or which
// is missing.
Status instantiate(ApplicationObjects& running,
                   const std::optional<std::string>& principalClassName,
                   const std::optional<std::string>& delegateClassName) {
  std::shared_ptr<NSObject> applicationObject = principalClassName
                                                    ? instantiateClass(*principalClassName)
                                                    : std::make_shared<UIApplication>();
  running.application = std::dynamic_pointer_cast<UIApplication>(applicationObject);
  if (!running.application) {
    return Failure{"no application class named " + principalClassName.value_or("UIApplication")};
  }
  running.delegateObject = delegateClassName ? instantiateClass(*delegateClassName) : nullptr;
  running.delegate = dynamic_cast<UIApplicationDelegate*>(running.delegateObject.get());
  if (running.delegate == nullptr) {
    return Failure{"no application delegate class named " + delegateClassName.value_or("(none)")};
  }
  running.application->setDelegate(running.delegate);
  running.lifeCycle = std::make_unique<ApplicationLifeCycle>(*running.application);
  UIApplication::setShared(running.application.get());
  ApplicationLifeCycle::setCurrent(running.lifeCycle.get());
  return {};
}

// Creates the window from the main interface description and shows it; or
// why not, when the description names no class that exists.
Status showMainWindow(ApplicationObjects& running) {
  auto interface = mainInterface();
  auto rootViewController =
      interface ? std::dynamic_pointer_cast<UIViewController>(
                      instantiateClass(interface->rootViewControllerClassName))
                : nullptr;
  if (!rootViewController) {
    return Failure{"the main interface names no view controller class that exists"};
  }
  auto window = std::make_shared<UIWindow>();
  window->rootViewController = std::move(rootViewController);
  running.delegate->setWindow(window);
  // The runtime keeps the window itself only when the delegate does not.
  if (!running.delegate->window()) running.keptWindow = window;
  window->makeKeyAndVisible();
  return {};
}

// Launches the application (in front, or into the background), shows its
// window and queues the request it was launched with; or why it cannot
// start.
Status launch(ApplicationObjects& running, const std::optional<SystemRequest>& request,
              bool inBackground) {
  UIApplication& application = *running.application;
  std::optional<SystemRequest> pending = request;
  if (!running.delegate->applicationDidFinishLaunchingWithOptions(application,
                                                                  launchOptionsFor(request))) {
    pending.reset();  // a launch that declines its URL is not asked to open it
  }
  if (auto shown = showMainWindow(running); !shown) return shown;
  if (inBackground) {
    running.lifeCycle->enterBackground();
  } else {
    running.lifeCycle->becomeActive();
  }
  if (pending) {
    DispatchQueue::main().async(
        [&application, &lifeCycle = *running.lifeCycle, request = *pending] {
          (void)deliver(application, lifeCycle, request);
        });
  }
  return {};
}

// Serves the requests that reach the control socket on the main thread,
// whose loop the socket shares; nullptr, after saying so, when the socket
// cannot listen.
std::unique_ptr<ControlSocketServer> listenForRequests(UIApplication& application,
                                                       ApplicationLifeCycle& lifeCycle) {
  auto controlSocket = ControlSocketServer::start(
      DispatchQueue::main().context(), [&application, &lifeCycle](const SystemRequest& request) {
        return deliver(application, lifeCycle, request);
      });
  if (!controlSocket) {
    warn(controlSocket.reason() + "; running without a control socket");
    return nullptr;
  }
  return *std::move(controlSocket);
}

// Runs the main queue until the application is told to end, then takes it
// through the end of its life.
void runUntilEnd(ApplicationObjects& running, bool listens) {
  UIApplication& application = *running.application;
  UIApplicationDelegate& delegate = *running.delegate;
  std::unique_ptr<ControlSocketServer> controlSocket;
  if (listens) controlSocket = listenForRequests(application, *running.lifeCycle);

  DispatchQueue::main().run();
  controlSocket.reset();
  DispatchQueue::main().drain();

  running.lifeCycle->terminate();
  DispatchQueue::main().drain();

  delegate.setWindow(nullptr);
  running.keptWindow.reset();
  DispatchQueue::main().drain();
  ApplicationLifeCycle::setCurrent(nullptr);
  UIApplication::setShared(nullptr);
  application.setDelegate(nullptr);
}

// `App background` and `App foreground`: the running App's state after the
// move, one word on standard output.
Exit moveApplication(LifeCycleMove move) {
  const auto answer = deliverToRunningApplication(LifeCycleRequest{.move = move});
  if (!answer) {
    return failed(exitFailure, "no App runs on this device (" + deviceRoot().string() + ")");
  }
  if (!*answer)
    return failed(exitFailure, "the running App refused the request: " + answer->reason());
  return Exit{.code = exitSuccess,
              .output = std::string(name((*answer)->applicationState)) + "\n",
              .error = {}};
}

Exit runApplication(const CommandLine& line, const std::optional<std::string>& principalClassName,
                    const std::optional<std::string>& delegateClassName) {
  if (line.move) return moveApplication(*line.move);
  auto claim = claimDevice(line);
  if (auto* end = std::get_if<Exit>(&claim)) return std::move(*end);
  std::unique_ptr<ApplicationInstanceLock> instanceLock =
      std::get<std::unique_ptr<ApplicationInstanceLock>>(std::move(claim));

  setLaunchArguments({.webLayers = line.webLayers,
                      .port = line.port,
                      .webDirectory = line.webDirectory,
                      .nativeBridgeScript = line.nativeBridgeScript,
                      .serverURL = line.serverURL,
                      .isDeviceApplication = instanceLock != nullptr});

  // Heard from the start, so that a signal during launch ends the run loop as
  // soon as it runs rather than the process.
  ::signal(SIGPIPE, SIG_IGN);
  // A write beyond the file-size limit fails (EFBIG) like any failed write,
  // so that a store that cannot grow settles a `set` as failed instead of
  // ending the process.
  ::signal(SIGXFSZ, SIG_IGN);
  EndSignals endSignals(DispatchQueue::main().context());

  ApplicationObjects running;
  if (auto made = instantiate(running, principalClassName, delegateClassName); !made) {
    return failed(exitFailure, made.reason());
  }
  if (auto launched = launch(running, line.request, line.launchInBackground); !launched) {
    return failed(exitFailure, launched.reason());
  }
  runUntilEnd(running, instanceLock != nullptr);
  return Exit{.code = applicationExitCode(), .output = {}, .error = {}};
}

}  // namespace

int UIApplicationMain(int argc, char** argv, const std::optional<std::string>& principalClassName,
                      const std::optional<std::string>& delegateClassName) {
  auto parsed = parseCommandLine(argc, argv);
  const auto* line = std::get_if<CommandLine>(&parsed);
  Exit end = line ? runApplication(*line, principalClassName, delegateClassName)
                  : std::get<Exit>(std::move(parsed));
  std::cout << end.output << std::flush;
  std::cerr << end.error << std::flush;
  std::exit(end.code);
}

}  // namespace brisklane
