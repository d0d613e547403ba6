// A bridge on a fresh device with one plug-in registered, and a page that
// calls it: `call` sends one message and answers the bridge's reply.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/capacitor/bridge.h"
#include "platform/usernotifications/user_notification_center.h"
#include "tests/platform/capacitor/recording_web_layer.h"
#include "tests/support/temporary_device.h"

namespace brisklane::testing {

template <class Plugin>
class PluginTestBridge {
 public:
  PluginTestBridge() { bridge->registerPluginType(pluginType<Plugin>()); }

  // Calls `method` of the plug-in with `options`; how many replies came.
  std::size_t send(std::string_view method, const JSObject& options = JSObject::object()) {
    const auto before = page->messages().size();
    const JSObject message{{"type", "message"},
                           {"callbackId", std::to_string(++calls)},
                           {"pluginId", plugin()},
                           {"methodName", method},
                           {"options", options}};
    bridge->receive(message.dump(), page);
    return page->messages().size() - before;
  }
  // The reply to `method` of the plug-in with `options`.
  JSObject call(std::string_view method, const JSObject& options = JSObject::object()) {
    EXPECT_EQ(send(method, options), 1u) << method << " answered once";
    return page->last();
  }
  // What the widget host does when the user answers the permission alert:
  // keeps the answer in the device's record and tells the application.
  static void answerPermissionAlert(NotificationPermission answer) {
    ASSERT_TRUE(changeNotificationCenter([answer](NotificationCenterRecord& center) {
      center.permission = answer;
      center.permissionAlert.reset();
    }));
    UNUserNotificationCenter::current().authorizationAnswered(answer);
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
