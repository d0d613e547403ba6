// `serve`: the widget host as a home screen runs it. It shows every placed
// widget (home_screen.h): asks the providers for timelines, draws each
// widget's current entry to `$BRISKLANE_HOME/widgets/KIND-FAMILY.png` (or
// .svg) and lists what it shows in `widgets/manifest.json`, also printed as
// one JSON line a round. Its schedule (schedule.h) runs a round again when a
// reload moment or an entry's date comes, and at once when the application
// asks for all timelines to be reloaded: a datagram on
// `run/widget-host.sock`; requests that arrive together are served by one
// round. With `--http` it also serves the home-screen page
// (home_screen_page.h), whose address is then the first line it prints.
//
// Everything runs on one Asio event loop on the main thread: the reload
// socket, the timer, the stop signals, the page and the reaping of the
// applications that taps start. A round runs to its end before the loop
// goes on, so SIGTERM or SIGINT never cuts one short; the host then removes
// its socket and ends with exit code 0. One host serves a device at a time.
#include <fcntl.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/datagram_protocol.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "host/home_screen.h"
#include "host/home_screen_page.h"
#include "host/host_clock.h"
#include "host/host_command.h"
#include "host/open_in_app.h"
#include "platform/foundation/device_folder.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane {
namespace {

namespace net = boost::asio;
using DatagramSocket = net::local::datagram_protocol::socket;
using Json = nlohmann::ordered_json;

struct ServeOptions {
  std::string device{defaultDeviceClass.name};
  std::string format = "png";
  bool http = false;
  std::uint16_t port = 0;
  const CLI::Option* deviceOption = nullptr;     // whether --device was given
  const CLI::Option* osVersionOption = nullptr;  // whether the global --os-version was given
};

// How long a launched App may take to come up on its control socket.
constexpr std::chrono::seconds launchPatience{15};
// How often the host looks at the application: while a launch or a link is
// under way, and otherwise, for the page, to see it come, go or move.
constexpr std::chrono::milliseconds busyWatchInterval{25};
constexpr std::chrono::milliseconds idleWatchInterval{1000};

// The socket that reload requests arrive on. A socket file left by a host
// that died is taken over; one that a live host answers on is not.
class ReloadRequests {
 public:
  static Result<std::unique_ptr<ReloadRequests>> bind(net::io_context& context,
                                                      const std::filesystem::path& path) {
    using Endpoint = net::local::datagram_protocol::endpoint;
    if (path.string().size() >= sizeof(sockaddr_un::sun_path)) {
      return Failure{"the device root is too long for a socket: " + path.string()};
    }
    if (!makeFolders(path.parent_path())) {
      return Failure{"cannot make the folder " + path.parent_path().string()};
    }
    std::unique_ptr<ReloadRequests> requests(new ReloadRequests(context, path));
    DatagramSocket& socket = requests->socket_;
    boost::system::error_code error;
    socket.open(net::local::datagram_protocol(), error);
    if (error) return Failure{"cannot make a socket: " + error.message()};
    ::fcntl(socket.native_handle(), F_SETFD, FD_CLOEXEC);  // not for the applications taps start
    socket.bind(Endpoint(path.string()), error);
    if (error == net::error::address_in_use) {
      DatagramSocket probe(context);
      boost::system::error_code probeError;
      probe.open(net::local::datagram_protocol(), probeError);
      if (!probeError) probe.connect(Endpoint(path.string()), probeError);
      if (!probeError) {
        return Failure{"another widget host serves this device (" + path.string() + ")"};
      }
      std::error_code removeError;
      std::filesystem::remove(path, removeError);
      socket.bind(Endpoint(path.string()), error);
    }
    if (error) return Failure{"cannot listen on " + path.string() + ": " + error.message()};
    requests->bound_ = true;
    std::error_code modeError;
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, modeError);
    socket.non_blocking(true, error);
    return requests;
  }

  ~ReloadRequests() {
    boost::system::error_code ignored;
    socket_.close(ignored);
    std::error_code notRemoved;
    if (bound_) std::filesystem::remove(path_, notRemoved);
  }

  // Calls `onReload` on the loop each time requests to reload all timelines
  // have arrived: every datagram waiting is read first, so that the schedule
  // hears of a whole burst before a round begins.
  void listen(std::function<void()> onReload) {
    onReload_ = std::move(onReload);
    waitForNext();
  }

 private:
  ReloadRequests(net::io_context& context, std::filesystem::path path)
      : socket_(context), path_(std::move(path)) {}

  void waitForNext() {
    socket_.async_wait(DatagramSocket::wait_read, [this](const boost::system::error_code& error) {
      if (error) return;  // closed
      bool requested = false;
      std::array<char, 64> message;
      while (true) {
        boost::system::error_code readError;
        const std::size_t size = socket_.receive(net::buffer(message), 0, readError);
        if (readError) break;
        requested |= std::string_view(message.data(), size) == reloadAllTimelinesMessage;
      }
      if (requested) onReload_();
      waitForNext();
    });
  }

  DatagramSocket socket_;
  std::filesystem::path path_;
  bool bound_ = false;
  std::function<void()> onReload_;
};

// The host's event loop and what it serves.
class Host final : public HomeScreenPageOwner {
 public:
  Host(const HostContext& context, net::io_context& loop, HomeScreen& screen)
      : context_(context),
        loop_(loop),
        screen_(screen),
        timer_(loop),
        watch_(loop),
        stopSignals_(loop),
        childSignals_(loop) {}

  // Runs until SIGTERM or SIGINT; or answers why it cannot listen for them.
  Status run(ReloadRequests& requests, HomeScreenPage* page) {
    boost::system::error_code notHeard;
    for (int signal : {SIGTERM, SIGINT}) {
      if (!notHeard) stopSignals_.add(signal, notHeard);
    }
    if (!notHeard) childSignals_.add(SIGCHLD, notHeard);
    if (notHeard) return Failure{"cannot listen for signals: " + notHeard.message()};
    page_ = page;
    requests.listen([this] { reloadAllTimelines(); });
    stopSignals_.async_wait([this](const boost::system::error_code& error, int) {
      if (!error) loop_.stop();
    });
    reapChildren();
    round(RoundReason::start);
    if (page_) watchApplication();
    loop_.run();
    return {};
  }

  std::string state() override {
    Json state{{"type", "state"}};
    for (const auto& [key, value] : screen_.manifest().items()) state[key] = value;
    state["clock"] = {{"now", Date::now().iso8601()}, {"offsetSeconds", hostClockOffset().count()}};
    state["settings"] = homeScreenSettingsJson(screen_.settings());
    Json catalog = Json::array();
    for (const WidgetConfiguration& widget : context_.widgets) {
      Json families = Json::array();
      for (WidgetFamily family : widget.supportedFamilies) families.push_back(name(family));
      catalog.push_back({{"kind", widget.kind},
                         {"displayName", resolvedText(widget.displayName)},
                         {"families", std::move(families)}});
    }
    state["catalog"] = std::move(catalog);
    Json devices = Json::array();
    for (const DeviceClass& device : deviceClasses) {
      devices.push_back({{"name", device.name},
                         {"width", device.screen.width},
                         {"height", device.screen.height}});
    }
    state["deviceClasses"] = std::move(devices);
    state["applicationPage"] = applicationPageURL().has_value();
    state["application"] = applicationJson();
    return state.dump(-1, ' ', false, Json::error_handler_t::replace);
  }

  std::optional<Picture> picture(std::string_view id, std::uint64_t version) override {
    return screen_.picture(id, version);
  }

  Result<std::string> tap(std::string_view id, Point point) override {
    const auto found = screen_.tap(id, point);
    if (!found) return Failure{found.reason()};
    open(found->absoluteString);
    return found->absoluteString;
  }

  Result<std::string> moveApplication(LifeCycleMove move) override {
    const auto moved = moveRunningApplication(move);
    if (!moved) {
      if (move == LifeCycleMove::background) return Failure{"App is not running"};
      launch(std::nullopt);  // its icon, tapped: the system launches it
      return application_.state;
    }
    if (!*moved) return Failure{moved->reason()};
    noteApplication((*moved)->processIdentifier, name((*moved)->applicationState));
    return application_.state;
  }

  void reloadAllTimelines() override {
    screen_.schedule().reloadRequested();
    serveDue();
  }

  void moveClock(std::chrono::seconds offset) override {
    moveHostClock(offset);
    clockMoved();
  }

  void resetClock() override {
    resetHostClock();
    clockMoved();
  }

  Status changeSettings(const HomeScreenSettings& settings) override {
    if (!saveHomeScreenSettings(settings)) {
      return Failure{"cannot save the settings to " + homeScreenSettingsPath().string()};
    }
    screen_.setSettings(settings);
    round(RoundReason::settings);
    return {};
  }

  std::optional<std::string> applicationPageURL() override {
    return brisklane::applicationPageURL();
  }

 private:
  // An application the host launched that has not come up yet.
  struct Launch {
    std::optional<std::string> url;  // the URL it was launched with, if any
    std::chrono::steady_clock::time_point deadline;
  };
  // A URL that an application holds for its page's first listener.
  struct WaitingLink {
    std::string url;
    pid_t processIdentifier;
  };
  // The application as the page shows it: "notRunning", "launching", or a
  // state the application answered ("active", "inactive", "background").
  struct ApplicationView {
    std::string state = "notRunning";
    pid_t processIdentifier = 0;

    friend bool operator==(const ApplicationView&, const ApplicationView&) = default;
  };

  // Opens `url` as the system does on a tap: the running App gets it, or
  // App is launched with it.
  void open(const std::string& url) {
    if (auto handed = handToRunningApplication(url)) {
      if (handed->outcome != HandOverOutcome::failed) {
        noteApplication(handed->processIdentifier, name(handed->applicationState));
      }
      if (handed->outcome == HandOverOutcome::waiting) {
        waiting_.push_back({.url = url, .processIdentifier = handed->processIdentifier});
        watchApplication();
      }
      pushOpened(url, *handed);
      return;
    }
    launch(url);
  }

  // Launches App as the system does, with `url` as its launch URL when one
  // is given; the watch tells the page when it has come up.
  void launch(const std::optional<std::string>& url) {
    const auto fail = [&](const std::string& why) {
      if (url) {
        pushOpened(*url, failedHandOver(why));
      } else {
        context_.err << "error: launching App failed: " << why << '\n';
      }
    };
    if (!launches_.empty()) {
      // One launch at a time: a second tap while App comes up goes to it.
      if (url) pendingURLs_.push_back(*url);
      return;
    }
    const auto application = applicationBesideThisProgram();
    if (!application) return fail("no App beside this program");
    const auto setup = readApplicationLaunchSetup();
    const auto started = startDetached(launchCommand(*application, setup ? &*setup : nullptr,
                                                     screen_.settings().systemVersion, url));
    if (!started) return fail(started.reason());
    launches_.emplace(
        *started,
        Launch{.url = url, .deadline = std::chrono::steady_clock::now() + launchPatience});
    noteApplication(*started, "launching");
    watchApplication();
  }

  // Looks at the launches and links under way, and at the application, and
  // tells the page what changed; again soon while anything is under way.
  void watchApplication() {
    watch_.cancel();
    const bool busy = watchOnce();
    if (!busy && !page_) return;
    watch_.expires_after(busy ? busyWatchInterval : idleWatchInterval);
    watch_.async_wait([this](const boost::system::error_code& error) {
      if (!error) watchApplication();
    });
  }

  bool watchOnce() {
    const auto now = std::chrono::steady_clock::now();
    for (auto launch = launches_.begin(); launch != launches_.end();) {
      const auto [child, started] = *launch;
      if (const auto up = launchedApplication(child)) {
        noteApplication(child, name(up->applicationState));
        if (started.url) {
          waiting_.push_back({.url = *started.url, .processIdentifier = child});
          pushOpened(*started.url,
                     handOver(HandOverOutcome::launched, child, up->applicationState));
        }
        launch = launches_.erase(launch);
        openPendingURLs();
      } else if (now >= started.deadline) {
        failLaunch(launch->second, "App did not come up within " +
                                       std::to_string(launchPatience.count()) +
                                       " s; its output is in " + (deviceRoot() / "run").string());
        launch = launches_.erase(launch);
      } else {
        ++launch;
      }
    }
    std::optional<RunningApplication> running;
    if (launches_.empty()) {
      running = runningApplication();
      if (running) {
        noteApplication(running->processIdentifier, name(running->applicationState));
      } else {
        noteApplication(0, "notRunning");
      }
    }
    std::erase_if(waiting_, [&](const WaitingLink& link) {
      if (isWaitingForListener(link.url, link.processIdentifier)) {
        if (!launches_.empty() || (running && running->processIdentifier == link.processIdentifier))
          return false;
        pushOpened(link.url, failedHandOver("App ended before its page listened"));
        return true;
      }
      pushOpened(link.url,
                 handOver(HandOverOutcome::delivered, link.processIdentifier,
                          running ? running->applicationState : UIApplication::State::active));
      return true;
    });
    return !launches_.empty() || !waiting_.empty();
  }

  // The taps that came while App was coming up go to it now, in order.
  void openPendingURLs() {
    for (const std::string& url : std::exchange(pendingURLs_, {})) open(url);
  }

  void failLaunch(const Launch& launch, const std::string& why) {
    if (launch.url) {
      pushOpened(*launch.url, failedHandOver(why));
    } else {
      context_.err << "error: launching App failed: " << why << '\n';
    }
    for (const std::string& url : std::exchange(pendingURLs_, {})) {
      pushOpened(url, failedHandOver(why));
    }
    noteApplication(0, "notRunning");
  }

  Json applicationJson() const {
    Json application{{"state", application_.state},
                     {"processIdentifier", application_.processIdentifier}};
    const bool running = application_.state != "notRunning" && application_.state != "launching";
    const auto page = running ? brisklane::applicationPageURL() : std::nullopt;
    application["page"] = page ? Json(*page) : Json(nullptr);
    return application;
  }

  // Records how the application is, and tells the page when that changed.
  void noteApplication(pid_t processIdentifier, std::string_view state) {
    ApplicationView now{.state = std::string(state), .processIdentifier = processIdentifier};
    if (now == application_) return;
    application_ = std::move(now);
    if (!page_) return;
    Json message = applicationJson();
    message["type"] = "application";
    page_->push(message.dump(-1, ' ', false, Json::error_handler_t::replace));
  }

  void round(RoundReason reason) {
    const Json& manifest = screen_.runRound(reason);
    context_.out << manifest.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
    if (page_) page_->push(state());
    scheduleTimer();
  }

  // The clock moved: the page shows the new time, and a reload moment that
  // has now come is served at once.
  void clockMoved() {
    if (!serveDue() && page_) page_->push(state());
  }

  // Runs the round that the schedule says is due, else sleeps until it may
  // be; answers whether a round ran.
  bool serveDue() {
    if (auto reason = screen_.schedule().dueAt(Date::now())) {
      round(*reason);
      return true;
    }
    scheduleTimer();
    return false;
  }

  void scheduleTimer() {
    const auto wait = screen_.schedule().wakeAfter(Date::now());
    if (!wait) {
      timer_.cancel();
      return;
    }
    timer_.expires_after(*wait);
    timer_.async_wait([this](const boost::system::error_code& error) {
      if (!error) serveDue();  // an error: rescheduled
    });
  }

  // Reaps the applications the host launched; one that ends before it came
  // up failed its launch, and says why.
  void reapChildren() {
    childSignals_.async_wait([this](const boost::system::error_code& error, int) {
      if (error) return;
      int status = 0;
      pid_t child = 0;
      while ((child = ::waitpid(-1, &status, WNOHANG)) > 0) {
        if (auto launch = launches_.find(child); launch != launches_.end()) {
          // `App open` ends at once when an App that came up beside it took
          // the URL: the watch then tells what that App did with it.
          const bool handedOver = WIFEXITED(status) && WEXITSTATUS(status) == 0;
          if (!handedOver) {
            failLaunch(launch->second, whyItEnded(status));
          } else if (launch->second.url) {
            const auto running = runningApplication();
            waiting_.push_back({.url = *launch->second.url,
                                .processIdentifier = running ? running->processIdentifier : 0});
          }
          launches_.erase(launch);
          openPendingURLs();
        }
      }
      watchApplication();
      reapChildren();
    });
  }

  void pushOpened(const std::string& url, const HandOver& handed) {
    Json message{{"type", "opened"}, {"url", url}, {"outcome", name(handed.outcome)}};
    if (handed.outcome == HandOverOutcome::failed) {
      message["detail"] = handed.detail;
      context_.err << "error: opening " << url << " in App failed: " << handed.detail << '\n';
    }
    if (page_) page_->push(message.dump(-1, ' ', false, Json::error_handler_t::replace));
  }

  const HostContext& context_;
  net::io_context& loop_;
  HomeScreen& screen_;
  net::steady_timer timer_;
  net::steady_timer watch_;
  net::signal_set stopSignals_;
  net::signal_set childSignals_;
  HomeScreenPage* page_ = nullptr;
  std::map<pid_t, Launch> launches_;
  std::vector<WaitingLink> waiting_;
  std::vector<std::string> pendingURLs_;  // tapped while App comes up
  ApplicationView application_;
};

int serve(const HostContext& context, const ServeOptions& options) {
  LoadedHomeScreenSettings loaded = loadHomeScreenSettings(context.widgets);
  if (!loaded.problem.empty()) context.err << "warning: " << loaded.problem << '\n';
  HomeScreenSettings settings = std::move(loaded.settings);
  if (options.deviceOption->count() > 0) {
    if (const auto device = chosenDevice(options.device); !device) {
      return reported(context, device.reason());
    }
    settings.deviceClass = options.device;
  }
  if (options.osVersionOption && options.osVersionOption->count() > 0) {
    settings.systemVersion = operatingSystemVersion();
  }
  const PictureFormat format = options.format == "svg" ? PictureFormat::svg : PictureFormat::png;
  const std::filesystem::path folder = deviceRoot() / "widgets";
  if (!makeFolders(folder)) {
    context.err << "error: cannot make the folder " << folder.string() << '\n';
    return exitFailure;
  }

  net::io_context loop(1);
  const auto requests = ReloadRequests::bind(loop, widgetHostSocketPath());
  if (!requests) return reported(context, {.exitCode = exitFailure, .message = requests.reason()});
  installHostClock();
  DrawingPool pool(DrawingPool::helpersForThisMachine());
  HomeScreen screen(context.widgets, settings, format, folder, pool, context.err);
  Host host(context, loop, screen);

  std::unique_ptr<HomeScreenPage> page;
  if (options.http) {
    auto started = HomeScreenPage::start(loop, options.port, host);
    if (!started) {
      context.err << "error: cannot serve the home-screen page: " << started.reason() << '\n';
      return exitFailure;
    }
    page = std::move(started).value();
    // The one line a person or a script reads to open the page.
    context.out << page->url() << std::endl;
  }
  if (const Status ran = host.run(**requests, page.get()); !ran) {
    return reported(context, {.exitCode = exitFailure, .message = ran.reason()});
  }
  return exitSuccess;
}

void declareServeOptions(CLI::App& command, ServeOptions& options) {
  command.description(
      "Run as the device's widget host: draw the placed widgets into $BRISKLANE_HOME/widgets and "
      "draw again when a reload moment comes or App asks for a reload (until SIGTERM or SIGINT)");
  options.deviceOption = command.add_option(
      "--device", options.device,
      "Device class (default: the home screen's, else 393x852): " + deviceClassNames());
  command.add_option("--format", options.format, "png or svg")
      ->check(CLI::IsMember({"png", "svg"}))
      ->capture_default_str();
  command.add_flag("--http", options.http,
                   "Also serve the home-screen page on 127.0.0.1 and print its address first");
  command.add_option("--port", options.port, "--http: the port (default 0: any free port)")
      ->needs(command.get_option("--http"));
  options.osVersionOption = command.get_parent()->get_option_no_throw("--os-version");
}

}  // namespace

HostCommand addServeCommand(CLI::App& app) {
  return commandWithOptions<ServeOptions>(app, "serve", declareServeOptions, serve);
}

}  // namespace brisklane
