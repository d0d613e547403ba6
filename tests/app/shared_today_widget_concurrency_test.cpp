// `set` and `status` run on whatever thread the bridge calls them on, several
// at once: every call must still settle once, reach the store and request its
// reload.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "app/shared_today_widget.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"
#include "tests/platform/capacitor/recording_web_layer.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

TEST(SharedTodayWidgetConcurrency, CallsFromManyThreadsEachSettleAndReload) {
  testing::TemporaryDevice device;
  constexpr int threads = 4;
  constexpr int callsPerThread = 25;
  SharedTodayWidget plugin;
  auto webLayer = std::make_shared<testing::RecordingWebLayer>();
  auto reloads = testing::reloadRequestCount();

  std::vector<std::thread> callers;
  for (int caller = 0; caller < threads; ++caller) {
    callers.emplace_back([&, caller] {
      for (int i = 0; i < callsPerThread; ++i) {
        std::string payload = std::to_string(caller) + "/" + std::to_string(i);
        plugin.set(testing::makeCall(webLayer, "SharedTodayWidget", "set", {{"payload", payload}},
                                     "set " + payload));
        plugin.status(testing::makeCall(webLayer, "SharedTodayWidget", "status", JSObject::object(),
                                        "status " + payload));
      }
    });
  }
  for (auto& caller : callers) caller.join();

  auto messages = webLayer->messages();
  ASSERT_EQ(messages.size(), std::size_t(2 * threads * callsPerThread));
  std::set<std::string> callbackIds;
  for (const auto& message : messages) {
    JSObject answer = JSObject::parse(message);
    EXPECT_EQ(answer["success"], true) << message;
    EXPECT_EQ(answer["data"]["appGroupOk"], true) << message;
    callbackIds.insert(answer["callbackId"].get<std::string>());
  }
  EXPECT_EQ(callbackIds.size(), messages.size()) << "each call settled once";
  EXPECT_EQ(testing::reloadRequestCount(), reloads + threads * callsPerThread);
  auto defaults = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(defaults);
  std::string last = defaults->string(todayKey).value_or("");
  EXPECT_TRUE(last.ends_with("/" + std::to_string(callsPerThread - 1))) << last;
}

}  // namespace
}  // namespace brisklane
