// Capacitor's configuration of a web application, `capacitor.config.json`,
// as far as the application reads it at launch: its name and identifier,
// and `server.url`, the development server whose pages the web view loads
// instead of the built folder (live reload while the developer works).
//
// The file sits in the web project's folder, the one whose `webDir` the
// built folder is, so it is looked for from the web folder up. A missing
// file is no configuration; a file that cannot be read, or a value of the
// wrong kind, is a warning and that value stays empty: the application
// launches anyway, as it would from its built folder.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brisklane {

struct CapacitorConfiguration {
  std::string appId;
  std::string appName;
  std::string serverURL;       // server.url; empty: serve the web folder
  std::filesystem::path file;  // where it was read; empty: none was found

  friend bool operator==(const CapacitorConfiguration&, const CapacitorConfiguration&) = default;
};

inline constexpr std::string_view capacitorConfigurationFileName = "capacitor.config.json";

// The nearest capacitor.config.json in `webDirectory` or a folder above it.
[[nodiscard]] std::optional<std::filesystem::path> findCapacitorConfiguration(
    const std::filesystem::path& webDirectory);

// The configuration in `json`; `warn` hears one line for each thing in it
// that cannot be used.
[[nodiscard]] CapacitorConfiguration decodeCapacitorConfiguration(
    std::string_view json, const std::function<void(std::string_view)>& warn);

// The configuration found for `webDirectory`, read and decoded; empty when
// there is none.
[[nodiscard]] CapacitorConfiguration readCapacitorConfiguration(
    const std::filesystem::path& webDirectory, const std::function<void(std::string_view)>& warn);

}  // namespace brisklane
