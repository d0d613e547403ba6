#include "platform/device/device_folder.h"

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

}  // namespace brisklane
