#include "platform/capacitor/bridge_view_controller.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "platform/capacitor/app_plugin.h"
#include "platform/capacitor/browser_web_layer.h"
#include "platform/capacitor/console_plugin.h"
#include "platform/dispatch/dispatch_queue.h"
#include "platform/uikit/application_launch.h"

namespace brisklane {
namespace {

void reportOnStandardError(std::string_view text) {
  std::cerr << "App: " << text << std::endl;
}

const std::filesystem::path sampleWebProject = BRISKLANE_SAMPLE_WEB_PROJECT;

// Capacitor's iOS package in the web project that holds `webDirectory` (the
// project's folder is where capacitor.config.json names it as webDir), or
// else the sample's.
std::filesystem::path nativeBridgeBeside(const std::filesystem::path& webDirectory) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(webDirectory, error);
  for (; !error && folder.has_relative_path(); folder = folder.parent_path()) {
    std::filesystem::path candidate = folder / nativeBridgeScriptInPackage;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return sampleWebProject / nativeBridgeScriptInPackage;
}

}  // namespace

CAPBridgeViewController::~CAPBridgeViewController() = default;

void CAPBridgeViewController::viewDidLoad() {
  bridge_ = CAPBridge::make(std::make_shared<WKWebView>(), reportOnStandardError);
  bridge_->registerPluginType(pluginType<AppPlugin>());
  bridge_->registerPluginType(pluginType<ConsolePlugin>());
  capacitorDidLoad();

  const LaunchArguments& launch = launchArguments();
  const auto& webLayers = launch.webLayers;
  if (std::find(webLayers.begin(), webLayers.end(), "stdio") != webLayers.end()) {
    stdioWebLayer_ = StdioWebLayer::start(
        bridge_, STDIN_FILENO, STDOUT_FILENO, [] { DispatchQueue::main().stop(); },
        reportOnStandardError);
    if (!stdioWebLayer_) reportOnStandardError("cannot read standard input");
  }
  if (std::find(webLayers.begin(), webLayers.end(), "browser") != webLayers.end()) {
    startBrowserWebLayer(launch);
  }
}

void CAPBridgeViewController::startBrowserWebLayer(const LaunchArguments& launch) {
  BrowserWebLayerOptions options{.port = launch.port,
                                 .webDirectory = launch.webDirectory,
                                 .nativeBridgeScript = launch.nativeBridgeScript};
  if (options.webDirectory.empty()) options.webDirectory = sampleWebProject / "www";
  if (options.nativeBridgeScript.empty())
    options.nativeBridgeScript = nativeBridgeBeside(options.webDirectory);
  // The device's App keeps its token where a later launch finds it again.
  if (launch.isDeviceApplication) options.tokenFile = applicationTokenPath();
  auto started = BrowserWebLayer::start(bridge_, options);
  if (!started) {
    reportOnStandardError("cannot serve the web layer: " + started.reason());
    terminateApplication(1);
    return;
  }
  browserWebLayer_ = *std::move(started);
  if (launch.isDeviceApplication) recordLaunchSetup(options);
  // The one line a person or a script reads to open the page.
  std::cout << browserWebLayer_->url() << std::endl;
}

// From now on the device launches App this way when a link opens it.
void CAPBridgeViewController::recordLaunchSetup(const BrowserWebLayerOptions& options) const {
  std::error_code error;
  const ApplicationLaunchSetup setup{
      .webLayer = "browser",
      .webDirectory = std::filesystem::absolute(options.webDirectory, error),
      .nativeBridgeScript = std::filesystem::absolute(options.nativeBridgeScript, error),
      .port = browserWebLayer_->port(),
      .tokenFile = options.tokenFile,
      .processIdentifier = ::getpid()};
  if (!recordApplicationLaunchSetup(setup)) {
    reportOnStandardError("cannot record the launch setup in " +
                          applicationLaunchSetupPath().string());
  }
}

}  // namespace brisklane
