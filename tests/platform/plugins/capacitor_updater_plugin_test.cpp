#include "platform/plugins/capacitor_updater_plugin.h"

#include <gtest/gtest.h>

#include "tests/platform/plugins/plugin_test_bridge.h"

namespace brisklane {
namespace {

using UpdaterPage = testing::PluginTestBridge<CapacitorUpdaterPlugin>;

TEST(CapacitorUpdaterPlugin, AnswersForTheBuiltInBundle) {
  UpdaterPage page;
  const JSObject bundle = page.data("notifyAppReady")["bundle"];
  EXPECT_EQ(bundle["id"], "builtin");
  EXPECT_EQ(bundle["status"], "success");
  EXPECT_EQ(bundle["downloaded"], "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(page.data("current")["bundle"], bundle);
  EXPECT_EQ(page.data("getBuiltinVersion")["version"], bundle["version"]);
  EXPECT_EQ(page.data("list"), JSObject({{"bundles", JSObject::array()}}));
  EXPECT_EQ(page.data("getPluginVersion"), JSObject({{"version", capacitorUpdaterPluginVersion}}));

  // Made once, then the device's own.
  const std::string deviceId = page.data("getDeviceId")["deviceId"];
  EXPECT_EQ(deviceId.size(), 36u);
  EXPECT_EQ(page.data("getDeviceId")["deviceId"], deviceId);
}

TEST(CapacitorUpdaterPlugin, RejectsEveryCallThatWouldLeaveTheBuiltInBundle) {
  UpdaterPage page;
  for (std::string_view method : {"download", "next", "set", "reload", "reset", "delete"}) {
    EXPECT_EQ(page.rejection(method, {{"url", "https://example.com/b.zip"}, {"version", "2"}}),
              builtInBundleOnlyMessage)
        << method;
  }
  EXPECT_EQ(page.rejection("nothingOfThePlugin"),
            "\"CapacitorUpdater.nothingOfThePlugin()\" is not implemented on ios");
}

}  // namespace
}  // namespace brisklane
