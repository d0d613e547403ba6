#include "platform/capacitor/bridge_view_controller.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "platform/capacitor/app_plugin.h"
#include "platform/capacitor/browser_web_layer.h"
#include "platform/capacitor/capacitor_configuration.h"
#include "platform/capacitor/console_plugin.h"
#include "platform/device/application_launch.h"
#include "platform/dispatch/dispatch_queue.h"

namespace brisklane {
namespace {

void reportOnStandardError(std::string_view text) {
  std::cerr << "App: " << text << std::endl;
}

const std::filesystem::path sampleWebProject = BRISKLANE_SAMPLE_WEB_PROJECT;

struct NativeBridgeScript {
  std::filesystem::path path;
  std::string_view foundBy;  // how it was chosen, for the developer
};

// Capacitor's iOS package in the web project that holds `webDirectory` (the
// project's folder is where capacitor.config.json names it as webDir), or
// else the sample's.
NativeBridgeScript nativeBridgeBeside(const std::filesystem::path& webDirectory) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(webDirectory, error);
  for (; !error && folder.has_relative_path(); folder = folder.parent_path()) {
    std::filesystem::path candidate = folder / nativeBridgeScriptInPackage;
    // A folder without it is no error: the search goes on upwards.
    std::error_code missing;
    if (std::filesystem::is_regular_file(candidate, missing)) {
      return {.path = candidate, .foundBy = "from @capacitor/ios beside the web application"};
    }
  }
  return {.path = sampleWebProject / nativeBridgeScriptInPackage,
          .foundBy = "from the sample's @capacitor/ios: the web application has none beside it"};
}

// The development server to follow: --server-url, else the web project's
// server.url; a configured one off this machine is ignored with a warning.
std::optional<LoopbackOrigin> developmentServer(const LaunchArguments& launch,
                                                const std::filesystem::path& webDirectory) {
  auto configuration = readCapacitorConfiguration(webDirectory, [](std::string_view line) {
    reportOnStandardError("warning: " + std::string(line));
  });
  std::string url = launch.serverURL;
  std::string source = "--server-url";
  if (url.empty()) {
    url = configuration.serverURL;
    source = "server.url in " + configuration.file.string();
  }
  if (url.empty()) return std::nullopt;
  auto origin = loopbackOrigin(url);
  if (!origin) {
    reportOnStandardError("warning: " + source + " names " + url +
                          ", which is not a development server on this machine's loopback "
                          "address; serving the web application's files instead");
    return std::nullopt;
  }
  reportOnStandardError("following the development server at " + origin->origin() + " (" + source +
                        ")");
  return origin;
}

std::vector<CAPPluginType>& packagedPluginTable() {
  static std::vector<CAPPluginType> types;
  return types;
}

}  // namespace

bool registerPackagedPlugins(std::vector<CAPPluginType> types) {
  packagedPluginTable() = std::move(types);
  return true;
}

const std::vector<CAPPluginType>& packagedPlugins() {
  return packagedPluginTable();
}

CAPBridgeViewController::~CAPBridgeViewController() = default;

void CAPBridgeViewController::viewDidLoad() {
  bridge_ = CAPBridge::make(std::make_shared<WKWebView>(), reportOnStandardError);
  bridge_->registerPluginType(pluginType<AppPlugin>());
  bridge_->registerPluginType(pluginType<ConsolePlugin>());
  for (const CAPPluginType& type : packagedPlugins()) bridge_->registerPluginType(type);
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
  std::string_view foundBy = "named by --native-bridge";
  if (options.nativeBridgeScript.empty()) {
    auto found = nativeBridgeBeside(options.webDirectory);
    options.nativeBridgeScript = found.path;
    foundBy = found.foundBy;
  }
  reportOnStandardError("serving Capacitor's native bridge from " +
                        options.nativeBridgeScript.string() + " (" + std::string(foundBy) + ")");
  options.developmentServer = developmentServer(launch, options.webDirectory);
  // The device's App says where the device's tools find its page's token.
  if (launch.isDeviceApplication) options.tokenFile = applicationTokenPath();
  auto hostName = devicePageHostName("app");
  if (!hostName) {
    reportOnStandardError("cannot serve the web layer: " + hostName.reason());
    terminateApplication(1);
    return;
  }
  options.hostName = *hostName;
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
      .processIdentifier = ::getpid(),
      .serverURL = options.developmentServer ? options.developmentServer->origin() : ""};
  if (auto recorded = recordApplicationLaunchSetup(setup); !recorded) {
    reportOnStandardError("cannot record the launch setup: " + recorded.reason());
  }
}

}  // namespace brisklane
