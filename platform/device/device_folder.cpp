#include "platform/device/device_folder.h"

#include <cstdlib>

namespace brisklane {
namespace {

constexpr const char* homeVariable = "BRISKLANE_HOME";

}  // namespace

std::filesystem::path deviceRoot() {
  if (const char* home = std::getenv(homeVariable); home != nullptr && *home != '\0') {
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

DeviceRootSwitch::DeviceRootSwitch(const std::filesystem::path& device) {
  if (const char* home = std::getenv(homeVariable)) previous_ = home;
  ::setenv(homeVariable, device.c_str(), 1);
}

DeviceRootSwitch::~DeviceRootSwitch() {
  if (previous_) {
    ::setenv(homeVariable, previous_->c_str(), 1);
  } else {
    ::unsetenv(homeVariable);
  }
}

}  // namespace brisklane
