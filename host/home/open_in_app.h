// Opening a URL in the application, as the phone's system does on a tap: a
// running application gets it through its control socket and says what it
// did with it; with none running, the system launches the application with
// the URL as its launch URL. Such a launch happens in browser mode, the way
// the device has the application set up (its launch record: web folder,
// native bridge, port; on a device that never had one, the project's
// sample), with the device's system version, so that the page a person had
// open simply reloads into the new application.
//
// Every outcome is what happened, never a guess: "delivered" when the
// page's listener has the URL, "waiting" while the application holds it for
// its page's first listener, "launched" when the application was started
// with it and has come up (it then waits likewise), "failed" with why.
//
// A launched application is started detached: in a session of its own, so
// that it outlives the host and the signals meant for it, with standard input
// from /dev/null and its output appended to `$BRISKLANE_HOME/run/App.stdout`
// and `App.stderr`.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/enum_names.h"
#include "base/result.h"
#include "platform/device/application_launch.h"
#include "platform/foundation/process_info.h"
#include "platform/os/processes.h"
#include "platform/uikit/control_socket.h"
#include "platform/uikit/uikit.h"

namespace brisklane {

enum class HandOverOutcome { delivered, waiting, launched, failed };
template <>
inline constexpr auto enumNames<HandOverOutcome> =
    namesThrough<HandOverOutcome::failed>({"delivered", "waiting", "launched", "failed"});

// What became of a URL handed to the application.
struct HandOver {
  HandOverOutcome outcome = HandOverOutcome::failed;
  std::string detail;           // why, when it failed
  pid_t processIdentifier = 0;  // the application that has it
  UIApplication::State applicationState = UIApplication::State::active;
};

[[nodiscard]] HandOver failedHandOver(std::string detail);
// An outcome other than failing, with the application that has the URL.
[[nodiscard]] HandOver handOver(HandOverOutcome outcome, pid_t processIdentifier,
                                UIApplication::State applicationState);

// The running application's state and process; nothing when none runs or
// it does not answer.
[[nodiscard]] std::optional<RunningApplication> runningApplication();

// Hands `url` to the running application; nothing when none runs.
[[nodiscard]] std::optional<HandOver> handToRunningApplication(std::string_view url);

// Moves the running application to the front or the background; nothing
// when none runs, why when it refused.
[[nodiscard]] std::optional<Result<RunningApplication>> moveRunningApplication(LifeCycleMove move);

// Whether application `processIdentifier` still holds `url` for its page's
// first listener.
[[nodiscard]] bool isWaitingForListener(std::string_view url, pid_t processIdentifier);

// Where a launched application starts: in front, or in the background, as
// the system launches it for a notification's action that does not open it.
enum class LaunchInto { foreground, background };

// The command line that launches the application as the system does: the
// program, the launch options of `setup` (browser mode on the sample
// without one), the system version, `--launch-in-background` when it starts
// there, and `open URL` when there is a URL.
[[nodiscard]] std::vector<std::string> launchCommand(const std::filesystem::path& application,
                                                     const ApplicationLaunchSetup* setup,
                                                     OperatingSystemVersion systemVersion,
                                                     const std::optional<std::string>& url,
                                                     LaunchInto into = LaunchInto::foreground);

// Starts `command` detached; its process identifier, or why it could not
// start. The caller reaps it.
[[nodiscard]] Result<pid_t> startDetached(const std::vector<std::string>& command);

// Why a started application that ended so did not come up, with the last
// line it wrote on standard error.
[[nodiscard]] std::string whyItEnded(const ExitOutcome& outcome);

// The launched application `processIdentifier` once it answers on its
// control socket; nothing while it does not (yet).
[[nodiscard]] std::optional<RunningApplication> launchedApplication(pid_t processIdentifier);

// Opens `url` as a tap does and waits until the outcome is known: handed to
// the running application, or launched and come up (at most `patience`).
[[nodiscard]] HandOver openInApplication(std::string_view url, OperatingSystemVersion systemVersion,
                                         std::chrono::milliseconds patience);

// The address of the application's page: its origin and token from the
// launch record; nothing when the device has none, or no token.
[[nodiscard]] std::optional<std::string> applicationPageURL();

}  // namespace brisklane
