// The device's record of how the application launches, and the page token
// such launches share.
#include "platform/uikit/application_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

const ApplicationLaunchSetup browserSetup{.webLayer = "browser",
                                          .webDirectory = "/srv/app/www",
                                          .nativeBridgeScript = "/srv/app/native-bridge.js",
                                          .port = 8100,
                                          .tokenFile = "/srv/device/run/App.token",
                                          .processIdentifier = 4242};

TEST(ApplicationLaunchSetup, LaunchesWithTheRecordedOptions) {
  EXPECT_EQ(
      launchOptions(browserSetup),
      (std::vector<std::string>{"--web-layer", "browser", "--port", "8100", "--web-dir",
                                "/srv/app/www", "--native-bridge", "/srv/app/native-bridge.js"}));
}

TEST(ApplicationLaunchSetup, IsReadBackAsItWasRecorded) {
  testing::TemporaryDevice device;
  EXPECT_TRUE(std::holds_alternative<std::string>(readApplicationLaunchSetup()));
  ASSERT_TRUE(recordApplicationLaunchSetup(browserSetup));
  EXPECT_EQ(applicationLaunchSetupPath(), device.root() / "run" / "App-launch.json");
  EXPECT_EQ(std::get<ApplicationLaunchSetup>(readApplicationLaunchSetup()), browserSetup);
  struct stat status {};
  ASSERT_EQ(::stat(applicationLaunchSetupPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(ApplicationLaunchSetup, RefusesRecordsThatCannotLaunchAnything) {
  for (
      const char* json :
      {"", "[]", R"({"webLayer":"browser"})",
       R"({"webLayer":"browser","webDirectory":"/w","nativeBridgeScript":"/n","tokenFile":"/t","port":0})",
       R"({"webLayer":"browser","webDirectory":"/w","nativeBridgeScript":"/n","tokenFile":"/t","port":70000})",
       R"({"webLayer":"browser","webDirectory":"/w","nativeBridgeScript":"/n","tokenFile":"/t","port":"8100"})"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(decodeApplicationLaunchSetup(json))) << json;
  }
}

TEST(ApplicationLaunchSetup, PageTokensAreThirtyTwoLowercaseHexDigits) {
  testing::TemporaryDevice device;
  const auto file = device.root() / "token";
  auto tokenIn = [&file](std::string_view text) {
    std::ofstream(file, std::ios::trunc) << text;
    return readPageToken(file);
  };
  EXPECT_EQ(tokenIn("00112233445566778899aabbccddeeff\n"), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(tokenIn("00112233445566778899aabbccddeeff"), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(tokenIn("00112233445566778899AABBCCDDEEFF"), std::nullopt);
  EXPECT_EQ(tokenIn("00112233445566778899aabbccddeef"), std::nullopt);
  EXPECT_EQ(tokenIn("00112233445566778899aabbccddeeff\n\n"), std::nullopt);
  EXPECT_EQ(readPageToken(device.root() / "missing"), std::nullopt);
}

}  // namespace
}  // namespace brisklane
