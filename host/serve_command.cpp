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

// How long a started `App open URL` may take before it counts as the
// application it launched rather than a hand-over to a running one.
constexpr std::chrono::seconds launchPatience{2};

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
    return state.dump(-1, ' ', false, Json::error_handler_t::replace);
  }

  std::optional<Picture> picture(std::string_view id, std::uint64_t version) override {
    return screen_.picture(id, version);
  }

  Result<std::string> tap(std::string_view id, Point point) override {
    const auto found = screen_.tap(id, point);
    if (!found) return Failure{found.reason()};
    const std::string url = found->absoluteString;
    const auto application = applicationBesideThisProgram();
    if (!application) return Failure{"no App beside this program"};
    const auto setup = readApplicationLaunchSetup();
    const auto started = startDetached(openURLCommand(*application, setup ? &*setup : nullptr,
                                                      screen_.settings().systemVersion, url));
    if (!started) return Failure{started.reason()};
    const pid_t child = *started;
    auto patience = std::make_unique<net::steady_timer>(loop_, launchPatience);
    patience->async_wait([this, child](const boost::system::error_code& error) {
      if (error) return;
      auto opening = openings_.find(child);
      if (opening == openings_.end() || opening->second.reported) return;
      opening->second.reported = true;
      pushOpened(opening->second.url, Opened::launched);
    });
    openings_.emplace(child, Opening{.url = url, .patience = std::move(patience)});
    return url;
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
  struct Opening {
    std::string url;
    std::unique_ptr<net::steady_timer> patience;
    bool reported = false;  // its launch has been told
  };

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

  // Reaps the applications that taps started, and tells the page what became
  // of each tap: handed over, or (the first time) a launch that failed.
  void reapChildren() {
    childSignals_.async_wait([this](const boost::system::error_code& error, int) {
      if (error) return;
      for (auto opening = openings_.begin(); opening != openings_.end();) {
        int status = 0;
        if (::waitpid(opening->first, &status, WNOHANG) != opening->first) {
          ++opening;
          continue;
        }
        if (!opening->second.reported) {
          const Result<Opened> opened = outcomeOfExit(status);
          pushOpened(opening->second.url, opened
                                              ? opened
                                              : Failure{opened.reason() + "; App's output is in " +
                                                        (deviceRoot() / "run").string()});
        }
        opening = openings_.erase(opening);
      }
      reapChildren();
    });
  }

  void pushOpened(const std::string& url, const Result<Opened>& opened) {
    Json message{{"type", "opened"}, {"url", url}, {"outcome", opened ? name(*opened) : "failed"}};
    if (!opened) {
      message["detail"] = opened.reason();
      context_.err << "error: opening " << url << " in App failed: " << opened.reason() << '\n';
    }
    if (page_) page_->push(message.dump(-1, ' ', false, Json::error_handler_t::replace));
  }

  const HostContext& context_;
  net::io_context& loop_;
  HomeScreen& screen_;
  net::steady_timer timer_;
  net::signal_set stopSignals_;
  net::signal_set childSignals_;
  HomeScreenPage* page_ = nullptr;
  std::map<pid_t, Opening> openings_;
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
