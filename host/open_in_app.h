// Opening a tapped widget's URL in the application, as the phone does: the
// host runs `App open URL` beside itself, which hands the URL to the running
// application, or, when none runs, becomes the application and receives it
// right after launch. Such a launch happens the way the device has the
// application set up (its launch record, with the device's system version),
// so a cold start serves the same page on the same port with the same token.
//
// Such an application is started detached: in a session of its own, so that
// it outlives the host and the signals meant for it, with standard input from
// /dev/null and its output appended to `$BRISKLANE_HOME/run/App.stdout` and
// `App.stderr`. A device without a launch record starts App as `App open
// URL` does from a terminal: `tap --open` then runs it in the foreground, on
// the tap's own standard input and output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/enum_names.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/result.h"
#include "platform/uikit/application_launch.h"

namespace brisklane {

// The application beside this program; nothing when there is none.
[[nodiscard]] std::optional<std::filesystem::path> applicationBesideThisProgram();

// The command line that opens `url`: the program, the launch options of
// `setup` (none without one), the system version, `open URL`.
[[nodiscard]] std::vector<std::string> openURLCommand(const std::filesystem::path& application,
                                                      const ApplicationLaunchSetup* setup,
                                                      OperatingSystemVersion systemVersion,
                                                      std::string_view url);

// Starts `command` detached; its process identifier, or why it could not
// start. The caller reaps it.
[[nodiscard]] Result<pid_t> startDetached(const std::vector<std::string>& command);

// What became of an `App open URL` that was started and did not fail.
enum class Opened {
  delivered,  // it handed the URL to the running application and ended
  launched,   // it is still running after `patience`: it became the application
};
template <>
inline constexpr auto enumNames<Opened> = namesThrough<Opened::launched>({"delivered", "launched"});

// What a process that ended with `status` (as waitpid gives it) did; or how
// it failed.
[[nodiscard]] Result<Opened> outcomeOfExit(int status);

// Opens `url` and waits up to `patience` to know what became of it; without
// a launch record, until the application it started ends.
[[nodiscard]] Result<Opened> openInApplication(std::string_view url,
                                               std::chrono::milliseconds patience);

// The address of the application's page: its origin and token from the
// launch record; nothing when the device has none, or no token.
[[nodiscard]] std::optional<std::string> applicationPageURL();

}  // namespace brisklane
