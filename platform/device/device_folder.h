// The simulated device's folder: everything a simulated phone holds lives
// under one root, the App Group containers among it. Its folders are made
// private to the user (mode 0700) by `makeFolders`.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/files.h"

namespace brisklane {

// The simulated device's root folder: `BRISKLANE_HOME`, else
// `$XDG_DATA_HOME/brisklane`, else `~/.local/share/brisklane`.
[[nodiscard]] std::filesystem::path deviceRoot();

// Where the App Group's shared container lives under the device root.
[[nodiscard]] std::filesystem::path appGroupContainer(std::string_view identifier);

// Points the device root (`BRISKLANE_HOME`) at `device` while it lives, and
// back at the caller's afterwards: the commands that draw on a simulated
// device of their own set its store up through the platform's own reads.
class DeviceRootSwitch {
 public:
  explicit DeviceRootSwitch(const std::filesystem::path& device);
  ~DeviceRootSwitch();
  DeviceRootSwitch(const DeviceRootSwitch&) = delete;
  DeviceRootSwitch& operator=(const DeviceRootSwitch&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace brisklane
