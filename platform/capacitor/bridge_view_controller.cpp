#include "platform/capacitor/bridge_view_controller.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "platform/capacitor/app_plugin.h"
#include "platform/dispatch/dispatch_queue.h"

namespace brisklane {
namespace {

void reportOnStandardError(std::string_view text) {
  std::cerr << "App: " << text << std::endl;
}

}  // namespace

CAPBridgeViewController::~CAPBridgeViewController() = default;

void CAPBridgeViewController::viewDidLoad() {
  bridge_ = CAPBridge::make(std::make_shared<WKWebView>(), reportOnStandardError);
  bridge_->registerPluginType(pluginType<AppPlugin>());
  capacitorDidLoad();

  const auto& webLayers = launchArguments().webLayers;
  if (std::find(webLayers.begin(), webLayers.end(), "stdio") != webLayers.end()) {
    stdioWebLayer_ = StdioWebLayer::start(
        bridge_, STDIN_FILENO, STDOUT_FILENO, [] { DispatchQueue::main().stop(); },
        reportOnStandardError);
    if (!stdioWebLayer_) reportOnStandardError("cannot read standard input");
  }
}

}  // namespace brisklane
