// The running system's version (`ProcessInfo.operatingSystemVersion` and
// `isOperatingSystemAtLeast`). Off the phone it is a setting of the process,
// made once at start-up from the command line; the default is a current
// system.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace brisklane {

struct OperatingSystemVersion {
  int majorVersion = 0;
  int minorVersion = 0;
  int patchVersion = 0;

  friend auto operator<=>(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;

  // "16.4", "17.0.1": one to three dot-separated numbers from 0 to 65535.
  [[nodiscard]] static std::optional<OperatingSystemVersion> parse(std::string_view text);
  [[nodiscard]] std::string text() const;
};

inline constexpr OperatingSystemVersion defaultOperatingSystemVersion{17, 4, 0};

// The exit codes of both programs.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;  // it ran, and failed
inline constexpr int exitUsage = 2;    // a bad command line

[[nodiscard]] OperatingSystemVersion operatingSystemVersion();
void setOperatingSystemVersion(OperatingSystemVersion version);
// Compares major, then minor, then patch.
[[nodiscard]] bool isOperatingSystemAtLeast(OperatingSystemVersion version);

}  // namespace brisklane
