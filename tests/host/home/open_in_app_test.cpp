#include "host/home/open_in_app.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/device/application_launch.h"
#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

const ApplicationLaunchSetup browserSetup{
    .webLayer = "browser",
    .webDirectory = "/srv/app/www",
    .nativeBridgeScript = "/srv/app/native-bridge.js",
    .port = 8100,
    .tokenFile = "/home/ana/.local/share/brisklane/run/App.token",
    .processIdentifier = 4242};

TEST(OpenInApplication, LaunchesInBrowserModeTheWayTheDeviceHasAppSetUp) {
  EXPECT_EQ(
      launchCommand("/opt/App", &browserSetup, {16, 4, 0}, "brisklane://voice"),
      (std::vector<std::string>{"/opt/App", "--web-layer", "browser", "--port", "8100", "--web-dir",
                                "/srv/app/www", "--native-bridge", "/srv/app/native-bridge.js",
                                "--os-version", "16.4.0", "open", "brisklane://voice"}));
  // An App that followed a development server follows it again.
  ApplicationLaunchSetup developing = browserSetup;
  developing.serverURL = "http://127.0.0.1:5173";
  const auto command = launchCommand("/opt/App", &developing, {17, 4, 0}, std::nullopt);
  EXPECT_EQ(std::vector<std::string>(command.end() - 4, command.end()),
            (std::vector<std::string>{"--server-url", "http://127.0.0.1:5173", "--os-version",
                                      "17.4.0"}));
  // A fresh device: the sample, in the browser; its icon tapped: no URL.
  EXPECT_EQ(launchCommand("/opt/App", nullptr, {17, 4, 0}, "brisklane://today"),
            (std::vector<std::string>{"/opt/App", "--web-layer", "browser", "--os-version",
                                      "17.4.0", "open", "brisklane://today"}));
  EXPECT_EQ(
      launchCommand("/opt/App", nullptr, {17, 4, 0}, std::nullopt),
      (std::vector<std::string>{"/opt/App", "--web-layer", "browser", "--os-version", "17.4.0"}));
  // A notification's action that does not open App launches it into the background.
  EXPECT_EQ(launchCommand("/opt/App", nullptr, {17, 4, 0}, std::nullopt, LaunchInto::background),
            (std::vector<std::string>{"/opt/App", "--web-layer", "browser", "--os-version",
                                      "17.4.0", "--launch-in-background"}));
}

// The started process, or -1 when it could not start.
pid_t pidOf(const std::vector<std::string>& command) {
  const auto started = startDetached(command);
  return started ? *started : -1;
}

TEST(OpenInApplication, StartsTheApplicationInASessionOfItsOwnWithItsOutputInTheDevice) {
  testing::TemporaryDevice device;
  const pid_t child = pidOf({"/bin/sh", "-c", "echo out; echo err >&2; read line || echo eof"});
  ASSERT_GT(child, 0);
  const pid_t session = ::getsid(child);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(session == child || session < 0) << "not a session leader";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(testing::readFile(device.root() / "run" / "App.stdout"), "out\neof\n");
  EXPECT_EQ(testing::readFile(device.root() / "run" / "App.stderr"), "err\n");

  const pid_t failing = pidOf({"/bin/sh", "-c", "exit 3"});
  ASSERT_EQ(::waitpid(failing, &status, 0), failing);
  EXPECT_EQ(whyItEnded(exitOutcome(status)), "App ended with exit code 3 (err)")
      << "the last line App wrote on standard error says why";
  EXPECT_EQ(testing::readFile(device.root() / "run" / "App.stdout"), "out\neof\n")
      << "output is appended";

  EXPECT_EQ(pidOf({(device.root() / "no-such-program").string()}), -1);
}

}  // namespace
}  // namespace brisklane
