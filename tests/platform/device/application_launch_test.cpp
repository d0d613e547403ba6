// The options a launch record launches with are checked where the widget host
// builds its command line (open_in_app_test.cpp).
#include "platform/device/application_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

constexpr std::string_view recorded =
    R"({"webLayer":"browser","webDirectory":"/w","nativeBridgeScript":"/n","port":8100,)"
    R"("tokenFile":"/t","processIdentifier":4242})";

std::optional<ApplicationLaunchSetup> setupOf(auto result) {
  if (result) return *result;
  return std::nullopt;
}

TEST(ApplicationLaunchSetup, IsReadBackAsItWasRecordedAndRefusesWhatCannotLaunch) {
  testing::TemporaryDevice device;
  EXPECT_FALSE(setupOf(readApplicationLaunchSetup()));
  auto setup = setupOf(decodeApplicationLaunchSetup(recorded));
  ASSERT_TRUE(setup);
  EXPECT_EQ(setup->port, 8100);
  EXPECT_EQ(setup->processIdentifier, 4242);
  ASSERT_TRUE(recordApplicationLaunchSetup(*setup));
  EXPECT_EQ(setupOf(readApplicationLaunchSetup()), setup);
  struct stat status {};
  ASSERT_EQ(::stat(applicationLaunchSetupPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  const std::string body =
      R"({"webLayer":"browser","webDirectory":"/w","nativeBridgeScript":"/n","tokenFile":"/t")";
  for (const std::string& json :
       {std::string(), std::string("[]"), std::string(R"({"webLayer":"browser"})"),
        body + R"(,"port":0})", body + R"(,"port":70000})", body + R"(,"port":"8100"})"}) {
    EXPECT_FALSE(setupOf(decodeApplicationLaunchSetup(json))) << json;
  }
}

TEST(ApplicationLaunchSetup, PageTokensAreThirtyTwoLowercaseHexDigits) {
  testing::TemporaryDevice device;
  const auto file = device.root() / "token";
  const std::string token = "00112233445566778899aabbccddeeff";
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {token + "\n", token},
      {token, token},
      {"00112233445566778899AABBCCDDEEFF", std::nullopt},
      {token.substr(1), std::nullopt},
      {token + "\n\n", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    std::ofstream(file, std::ios::trunc) << text;
    EXPECT_EQ(readPageToken(file), expected) << text;
  }
  EXPECT_EQ(readPageToken(device.root() / "missing"), std::nullopt);
}

// App puts what it reads here into a header of every page.
TEST(HomeScreenPage, IsReadBackOnlyWhenItNamesALoopbackOrigin) {
  testing::TemporaryDevice device;
  EXPECT_EQ(readHomeScreenPageOrigin(), std::nullopt);
  ASSERT_TRUE(recordHomeScreenPage("http://127.0.0.1:8200"));
  EXPECT_EQ(readHomeScreenPageOrigin(), "http://127.0.0.1:8200");
  EXPECT_FALSE(recordHomeScreenPage("http://example.com:8200"));
  EXPECT_EQ(readHomeScreenPageOrigin(), "http://127.0.0.1:8200");
  for (std::string_view json :
       {R"({"origin":"http://127.0.0.1:8200\r\nX: y"})", R"({"origin":"http://evil.example:80"})",
        R"({"origin":8200})", R"(["http://127.0.0.1:8200"])", "{"}) {
    std::ofstream(homeScreenPagePath(), std::ios::trunc) << json;
    EXPECT_EQ(readHomeScreenPageOrigin(), std::nullopt) << json;
  }
}

}  // namespace
}  // namespace brisklane
