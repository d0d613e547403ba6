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
// This file only wires the parts: the settings, the reload socket
// (reload_requests.h), the drawing pool, the home screen, the page, and the
// host that runs them all on one event loop (host.h). On SIGTERM or SIGINT
// the host removes its socket and ends with exit code 0. One host serves a
// device at a time.
#include <filesystem>
#include <memory>
#include <string>

#include "diagnosis/doctor.h"
#include "host/commands/host_command.h"
#include "host/commands/widget_choice.h"
#include "host/home/drawing_pool.h"
#include "host/home/home_screen.h"
#include "host/home/home_screen_page.h"
#include "host/home/host.h"
#include "host/home/host_clock.h"
#include "host/home/reload_requests.h"
#include "platform/device/device_folder.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane {
namespace {

struct ServeOptions {
  std::string device{defaultDeviceClass.name};
  std::string format = "png";
  bool http = false;
  std::uint16_t port = 0;
  const CLI::Option* deviceOption = nullptr;     // whether --device was given
  const CLI::Option* osVersionOption = nullptr;  // whether the global --os-version was given
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
  HomeScreen screen(context.widgets, settings, format, folder, pool, missingSummaryVerdict,
                    context.err);
  Host host(context.widgets, loop, screen, context.out, context.err);

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
