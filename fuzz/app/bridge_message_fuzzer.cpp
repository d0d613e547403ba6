// Feeds arbitrary bytes to the bridge as one message from a web layer. The
// decoder must answer a call or a reason; a call must survive being written
// as a message and read back; and the bridge, with the `App` plug-in loaded,
// must answer each call at most once and only with JSON lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/capacitor/app_plugin.h"
#include "platform/capacitor/bridge.h"
#include "platform/capacitor/bridge_message.h"

namespace {

using namespace brisklane;

class CheckingWebLayer final : public WebLayerConnection {
 public:
  void send(std::string message) override {
    if (message.find('\n') != std::string::npos || !JSObject::accept(message)) __builtin_trap();
    ++sent;
  }
  bool isOpen() const override { return true; }
  int sent = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto decoded = decodeBridgeMessage(text);
  if (auto* call = std::get_if<PluginCallMessage>(&decoded)) {
    if (!call->options.is_object()) __builtin_trap();
    JSObject message{{"callbackId", call->call.callbackId},
                     {"pluginId", call->call.pluginId},
                     {"methodName", call->call.methodName},
                     {"options", call->options}};
    auto again = decodeBridgeMessage(message.dump());
    auto* copy = std::get_if<PluginCallMessage>(&again);
    if (copy == nullptr || !(copy->call == call->call) || copy->options != call->options) {
      __builtin_trap();
    }
  }

  auto bridge = CAPBridge::make(std::make_shared<WKWebView>(), nullptr);
  bridge->registerPluginType(pluginType<AppPlugin>());
  auto webLayer = std::make_shared<CheckingWebLayer>();
  bridge->receive(text, webLayer);
  if (webLayer->sent > 1) __builtin_trap();
  return 0;
}
