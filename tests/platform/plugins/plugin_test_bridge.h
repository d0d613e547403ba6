// A bridge on a fresh device with one plug-in registered, and a page that
// calls it: `call` sends one message and answers the bridge's reply.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/capacitor/bridge.h"
#include "tests/platform/capacitor/recording_web_layer.h"
#include "tests/support/temporary_device.h"

namespace brisklane::testing {

template <class Plugin>
class PluginTestBridge {
 public:
  PluginTestBridge() { bridge->registerPluginType(pluginType<Plugin>()); }

  // The reply to `method` of the plug-in with `options`.
  JSObject call(std::string_view method, const JSObject& options = JSObject::object()) {
    const auto before = page->messages().size();
    const JSObject message{{"type", "message"},
                           {"callbackId", std::to_string(++calls)},
                           {"pluginId", plugin()},
                           {"methodName", method},
                           {"options", options}};
    bridge->receive(message.dump(), page);
    EXPECT_EQ(page->messages().size(), before + 1) << method << " answered once";
    return page->last();
  }
  // What `method` resolved with (null when it rejected).
  JSObject data(std::string_view method, const JSObject& options = JSObject::object()) {
    JSObject reply = call(method, options);
    EXPECT_TRUE(reply.value("success", false)) << method << ": " << reply.dump();
    return reply.value("data", JSObject());
  }
  // The message `method` rejected with (empty when it resolved).
  std::string rejection(std::string_view method, const JSObject& options = JSObject::object()) {
    JSObject reply = call(method, options);
    if (reply.value("success", true)) return "";
    return reply["error"].value("message", "");
  }

  std::string plugin() const { return std::string(bridge->pluginHeaders()[0]["name"]); }

  TemporaryDevice device;
  std::shared_ptr<CAPBridge> bridge = CAPBridge::make(nullptr, [](std::string_view) {});
  std::shared_ptr<RecordingWebLayer> page = std::make_shared<RecordingWebLayer>();
  int calls = 0;
};

}  // namespace brisklane::testing
