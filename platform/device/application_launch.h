// How the device has the application set up to launch: the operating
// system's record of the last launch that served a web layer to a browser,
// `$BRISKLANE_HOME/run/App-launch.json`, and the running application's page
// token, `$BRISKLANE_HOME/run/App.token` (mode 0600, new on every run).
//
// The running application writes the record once its page is served, with
// the port it actually bound. Whoever opens a URL in the application while
// none runs (a widget tap) starts it with the same setup, so that it serves
// the same web folder at the same address; the device's tools read the new
// token to open its page.
//
//   {"webLayer":"browser","webDirectory":"/abs/www","nativeBridgeScript":"/abs/native-bridge.js",
//    "port":8100,"tokenFile":"/abs/run/App.token","processIdentifier":4242}
// with "serverURL":"http://127.0.0.1:5173" when it followed a development
// server, so that a launch by a tap follows it again.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace brisklane {

struct ApplicationLaunchSetup {
  std::string webLayer;  // "browser"
  std::filesystem::path webDirectory;
  std::filesystem::path nativeBridgeScript;
  std::uint16_t port = 0;  // the port the page was served on
  std::filesystem::path tokenFile;
  pid_t processIdentifier = 0;  // the application that wrote the record; it may have ended
  std::string serverURL;        // the development server it followed; empty: none

  friend bool operator==(const ApplicationLaunchSetup&, const ApplicationLaunchSetup&) = default;
};

[[nodiscard]] std::filesystem::path applicationLaunchSetupPath();
[[nodiscard]] std::filesystem::path applicationTokenPath();

[[nodiscard]] std::string encodeApplicationLaunchSetup(const ApplicationLaunchSetup& setup);
// The setup in `json`, or why it is not one.
Result<ApplicationLaunchSetup> decodeApplicationLaunchSetup(std::string_view json);

// Writes the record atomically; false when it cannot.
[[nodiscard]] Status recordApplicationLaunchSetup(const ApplicationLaunchSetup& setup);
// The device's record; a reason when there is none or it cannot be read.
Result<ApplicationLaunchSetup> readApplicationLaunchSetup();

// The application's options that launch it this way (without the request).
[[nodiscard]] std::vector<std::string> launchOptions(const ApplicationLaunchSetup& setup);

// The links that reached the running application before its page listened
// for them, held for the page's first listener:
// `$BRISKLANE_HOME/run/App-waiting-links.json`, there only while some wait,
// so that the device's tools can tell that a link has not reached a page yet.
//   {"processIdentifier":4242,"urls":["brisklane://today"]}
struct WaitingLinks {
  pid_t processIdentifier = 0;  // the application that holds them; it may have ended
  std::vector<std::string> urls;
};

[[nodiscard]] std::filesystem::path waitingLinksPath();
// Records the links this process holds (atomically), or removes the record
// when it holds none; false when it cannot.
[[nodiscard]] Status recordWaitingLinks(const std::vector<std::string>& urls);
// The record; nothing when there is none or it is not one.
[[nodiscard]] std::optional<WaitingLinks> readWaitingLinks();

// Where the device's home-screen page is served, recorded by the widget host
// that serves it: `$BRISKLANE_HOME/run/home-screen-page.json`,
//   {"origin":"http://127.0.0.1:8200"}
// App's pages may be framed by that page alone.
[[nodiscard]] std::filesystem::path homeScreenPagePath();
// Records `origin` (a loopback origin, see platform/web/loopback_origin.h)
// atomically; false when it cannot, or when `origin` is not one.
[[nodiscard]] Status recordHomeScreenPage(std::string_view origin);
// The recorded origin as "http://HOST:PORT"; nothing when there is no record
// or it names no loopback origin.
[[nodiscard]] std::optional<std::string> readHomeScreenPageOrigin();

// The token in `file` when it holds one (32 lowercase hex digits, a line end
// allowed); nothing otherwise.
[[nodiscard]] std::optional<std::string> readPageToken(const std::filesystem::path& file);

// The host names the device's pages are served under,
// "<name>.<label>.localhost" ("app", "home"), which browsers resolve to the
// loopback address by themselves. The label is the device's secret
// (`$BRISKLANE_HOME/run/page-label`, mode 0600, made once by whichever
// program needs it first), so that a browser's cookies for the pages go to
// no other server on this machine, and the device's pages are one site: the
// home-screen page may frame App's. Why not, when the label cannot be made.
[[nodiscard]] std::filesystem::path pageLabelPath();
[[nodiscard]] Result<std::string> devicePageHostName(std::string_view name);

// The device's preferred language, as its settings
// (`$BRISKLANE_HOME/home-screen.json`, "language") keep it; `defaultDeviceLanguage`
// when they hold none or cannot be read.
inline constexpr std::string_view defaultDeviceLanguage = "en";
[[nodiscard]] std::string deviceLanguage();
// Whether `text` has the form of a BCP 47 language tag: subtags of one to
// eight letters or digits joined by hyphens, the first of letters.
[[nodiscard]] bool isLanguageTag(std::string_view text);

// The application beside this program; nothing when there is none.
[[nodiscard]] std::optional<std::filesystem::path> applicationBesideThisProgram();

}  // namespace brisklane
