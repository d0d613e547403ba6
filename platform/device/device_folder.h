// The simulated device's folder: everything a simulated phone holds lives
// under one root, the App Group containers among it. Its folders are made
// private to the user (mode 0700) by `makeFolders`.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/os/files.h"

namespace brisklane {

// The simulated device's root folder: `BRISKLANE_HOME`, else
// `$XDG_DATA_HOME/brisklane`, else `~/.local/share/brisklane`.
[[nodiscard]] std::filesystem::path deviceRoot();

// Where the App Group's shared container lives under the device root.
[[nodiscard]] std::filesystem::path appGroupContainer(std::string_view identifier);

}  // namespace brisklane
