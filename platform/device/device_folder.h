// The simulated device's folder: everything a simulated phone holds lives
// under one root, the App Group containers among it. Folders made here are
// private to the user (mode 0700).
#pragma once

#include <filesystem>
#include <string_view>

namespace brisklane {

// The simulated device's root folder: `BRISKLANE_HOME`, else
// `$XDG_DATA_HOME/brisklane`, else `~/.local/share/brisklane`.
[[nodiscard]] std::filesystem::path deviceRoot();

// Where the App Group's shared container lives under the device root.
[[nodiscard]] std::filesystem::path appGroupContainer(std::string_view identifier);

// Creates `folder` and its missing parents with mode 0700. False when a part
// of the path exists and is not a folder, or cannot be made.
[[nodiscard]] bool makeFolders(const std::filesystem::path& folder);

}  // namespace brisklane
