#include "platform/foundation/process_info.h"

#include <atomic>
#include <charconv>
#include <cstdint>

namespace brisklane {
namespace {

// Packed into one word so that readers on any thread see a whole version.
constexpr std::uint64_t pack(OperatingSystemVersion v) {
  return (std::uint64_t(v.majorVersion) << 32) | (std::uint64_t(v.minorVersion) << 16) |
         std::uint64_t(v.patchVersion);
}

std::atomic<std::uint64_t> runningVersion{pack(defaultOperatingSystemVersion)};

}  // namespace

std::optional<OperatingSystemVersion> OperatingSystemVersion::parse(std::string_view text) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  const char* cursor = text.data();
  const char* end = text.data() + text.size();
  while (count < 3) {
    auto [next, error] = std::from_chars(cursor, end, parts[count]);
    if (error != std::errc{} || next == cursor || parts[count] < 0 || parts[count] > 65535) {
      return std::nullopt;
    }
    ++count;
    cursor = next;
    if (cursor == end) return OperatingSystemVersion{parts[0], parts[1], parts[2]};
    if (*cursor != '.') return std::nullopt;
    ++cursor;
  }
  return std::nullopt;
}

std::string OperatingSystemVersion::text() const {
  return std::to_string(majorVersion) + "." + std::to_string(minorVersion) + "." +
         std::to_string(patchVersion);
}

OperatingSystemVersion operatingSystemVersion() {
  std::uint64_t packed = runningVersion.load(std::memory_order_acquire);
  return {int(packed >> 32), int((packed >> 16) & 0xffff), int(packed & 0xffff)};
}

void setOperatingSystemVersion(OperatingSystemVersion version) {
  runningVersion.store(pack(version), std::memory_order_release);
}

bool isOperatingSystemAtLeast(OperatingSystemVersion version) {
  return operatingSystemVersion() >= version;
}

}  // namespace brisklane
