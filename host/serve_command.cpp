// `serve`: the widget host as a home screen runs it. It shows every widget in
// every family it is offered in: asks the provider for a timeline, draws the
// entry to `$BRISKLANE_HOME/widgets/KIND-FAMILY.png` (or .svg) and lists what
// it drew in `widgets/manifest.json`. It asks again when the earliest reload
// moment of those timelines has come, and at once when the application asks
// for all timelines to be reloaded: a datagram on `run/widget-host.sock`.
// Requests that arrive together are served by one round. Each round is also
// printed as one JSON line. SIGTERM or SIGINT ends it; it removes its socket
// on the way out. One host serves a device at a time.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "host/entry_json.h"
#include "host/host_command.h"
#include "host/picture_output.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

struct ServeOptions {
  std::string device{defaultDeviceClass.name};
  std::string format = "png";
};

// Owns a descriptor; closes it when it goes.
struct Descriptor {
  int value = -1;
  explicit Descriptor(int descriptor) : value(descriptor) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (value >= 0) ::close(value);
  }
};

std::optional<sockaddr_un> socketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return address;
}

bool bindTo(int descriptor, const sockaddr_un& address) {
  return ::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// The socket reload requests arrive on. A socket file left by a host that
// died is taken over; one that a live host answers on is not.
std::unique_ptr<Descriptor> bindReloadSocket(const HostContext& context,
                                             const std::filesystem::path& path) {
  const std::optional<sockaddr_un> address = socketAddress(path);
  if (!address) {
    context.err << "error: the device root is too long for a socket: " << path.string() << '\n';
    return nullptr;
  }
  if (!makeFolders(path.parent_path())) {
    context.err << "error: cannot make the folder " << path.parent_path().string() << '\n';
    return nullptr;
  }
  auto socket =
      std::make_unique<Descriptor>(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (socket->value < 0) {
    context.err << "error: cannot make a socket: " << std::strerror(errno) << '\n';
    return nullptr;
  }
  bool bound = bindTo(socket->value, *address);
  if (!bound && errno == EADDRINUSE) {
    Descriptor probe(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (::connect(probe.value, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) ==
        0) {
      context.err << "error: another widget host serves this device (" << path.string() << ")\n";
      return nullptr;
    }
    ::unlink(path.c_str());
    bound = bindTo(socket->value, *address);
  }
  if (!bound) {
    context.err << "error: cannot listen on " << path.string() << ": " << std::strerror(errno)
                << '\n';
    return nullptr;
  }
  ::chmod(path.c_str(), 0600);
  return socket;
}

// Whether a reload of all timelines was asked for; reads every datagram
// waiting, so that a burst of requests makes one round.
bool drainReloadRequests(int socket) {
  bool requested = false;
  char message[64];
  while (true) {
    ssize_t size = ::recv(socket, message, sizeof message, MSG_DONTWAIT);
    if (size < 0) break;
    requested |= std::string_view(message, static_cast<size_t>(size)) == reloadAllTimelinesMessage;
  }
  return requested;
}

struct Round {
  Json report;                     // what the round showed, for the manifest and the log
  std::optional<Date> nextReload;  // the earliest `.after` moment among the timelines
};

// Asks every widget in every family for a timeline and draws its entry.
Round showEverything(const HostContext& context, const DeviceClass& device, PictureFormat format,
                     const std::filesystem::path& folder, int number, std::string_view reason) {
  Round round{.report = Json{{"round", number}, {"reason", reason}, {"widgets", Json::array()}},
              .nextReload = std::nullopt};
  for (const WidgetConfiguration& widget : context.widgets) {
    for (WidgetFamily family : widget.supportedFamilies) {
      std::optional<Timeline<AnyEntry>> timeline;
      widget.getTimeline(TimelineProviderContext{.family = family, .isPreview = false},
                         [&timeline](Timeline<AnyEntry> answer) { timeline = std::move(answer); });
      Json shown{{"kind", widget.kind}, {"family", name(family)}};
      if (!timeline || timeline->entries.empty()) {
        shown["error"] = "the provider answered no entry";
        round.report["widgets"].push_back(std::move(shown));
        continue;
      }
      const AnyEntry& entry = timeline->entries.front();
      std::filesystem::path picture =
          folder / (widget.kind + "-" + std::string(name(family)) + std::string(extension(format)));
      const WidgetScene scene = widgetScene(widget, entry, family, device);
      if (writePicture(context, scene, format, picture)) {
        shown["picture"] = picture.string();
      } else {
        shown["error"] = "the picture could not be written";
      }
      shown["entry"] = entryJson(entry);
      shown["policy"] = policyJson(timeline->policy);
      if (const auto& moment = timeline->policy.reloadMoment()) {
        round.nextReload = round.nextReload ? std::min(*round.nextReload, *moment) : *moment;
      }
      round.report["widgets"].push_back(std::move(shown));
    }
  }
  if (!writeFileAtomically(folder / "manifest.json", round.report.dump(2) + "\n")) {
    context.err << "error: cannot write " << (folder / "manifest.json").string() << '\n';
  }
  context.out << round.report.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
  return round;
}

// Milliseconds until `moment`, for poll: -1 (wait for ever) without one.
int millisecondsUntil(const std::optional<Date>& moment) {
  if (!moment) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(moment->instant - Date::now().instant);
  return static_cast<int>(
      std::clamp<std::int64_t>(left.count(), 0, std::int64_t{24} * 60 * 60 * 1000));
}

int serve(const HostContext& context, const ServeOptions& options) {
  const std::optional<DeviceClass> device = chosenDevice(context, options.device);
  if (!device) return exitBadUsage;
  const PictureFormat format = options.format == "svg" ? PictureFormat::svg : PictureFormat::png;
  const std::filesystem::path folder = deviceRoot() / "widgets";
  if (!makeFolders(folder)) {
    context.err << "error: cannot make the folder " << folder.string() << '\n';
    return exitFailure;
  }

  // The stop signals are taken as readable events, so that a round in
  // progress is never cut short and the socket is always removed.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigset_t previousMask;
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, &previousMask);
  Descriptor stop(::signalfd(-1, &stopSignals, SFD_CLOEXEC));

  const std::filesystem::path socketPath = widgetHostSocketPath();
  std::unique_ptr<Descriptor> socket = bindReloadSocket(context, socketPath);
  if (!socket || stop.value < 0) {
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    return exitFailure;
  }

  int number = 1;
  std::optional<Date> nextReload =
      showEverything(context, *device, format, folder, number, "start").nextReload;
  while (true) {
    pollfd events[2] = {{socket->value, POLLIN, 0}, {stop.value, POLLIN, 0}};
    int ready = ::poll(events, 2, millisecondsUntil(nextReload));
    if (ready < 0 && errno != EINTR) break;
    if (events[1].revents != 0) {
      signalfd_siginfo received{};
      (void)::read(stop.value, &received, sizeof received);  // taken, so not delivered again
      break;
    }
    std::string_view reason;
    if (events[0].revents != 0 && drainReloadRequests(socket->value)) {
      reason = "reloadAllTimelines";
    } else if (nextReload && Date::now() >= *nextReload) {
      reason = "reloadMoment";
    } else {
      continue;
    }
    nextReload = showEverything(context, *device, format, folder, ++number, reason).nextReload;
  }
  ::unlink(socketPath.c_str());
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  return exitSuccess;
}

}  // namespace

HostCommand addServeCommand(CLI::App& app) {
  auto options = std::make_shared<ServeOptions>();
  CLI::App* command = app.add_subcommand(
      "serve",
      "Run as the device's widget host: draw every widget into $BRISKLANE_HOME/widgets and draw "
      "again when a reload moment comes or App asks for a reload (until SIGTERM or SIGINT)");
  command->add_option("--device", options->device, "Device class: " + deviceClassNames());
  command->add_option("--format", options->format, "png or svg")
      ->check(CLI::IsMember({"png", "svg"}))
      ->capture_default_str();
  return HostCommand{
      .subcommand = command,
      .run = [options](const HostContext& context) { return serve(context, *options); },
  };
}

}  // namespace brisklane
