#include "platform/device/device_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace brisklane {

std::filesystem::path deviceRoot() {
  if (const char* home = std::getenv("BRISKLANE_HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    return std::filesystem::path(data) / "brisklane";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/") / ".local/share/brisklane";
}

std::filesystem::path appGroupContainer(std::string_view identifier) {
  return deviceRoot() / "AppGroup" / identifier;
}

bool makeFolders(const std::filesystem::path& folder) {
  std::filesystem::path built;
  for (const auto& part : folder) {
    built /= part;
    if (::mkdir(built.c_str(), 0700) == 0) continue;
    struct stat status {};
    if (errno != EEXIST || ::stat(built.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
      return false;
    }
  }
  return true;
}

}  // namespace brisklane
