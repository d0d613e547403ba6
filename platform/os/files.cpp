#include "platform/os/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/os/file_descriptor.h"

namespace brisklane {
namespace {

// A name beside `path` that no other writer, in this process or another,
// uses at the same time.
std::filesystem::path partialName(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path partial = path;
  partial += ".partial-" + std::to_string(::getpid()) + "-" +
             std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
  return partial;
}

bool writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
  const std::filesystem::path partial = partialName(path);
  FileDescriptor descriptor(
      ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
  if (!descriptor) return false;
  bool written = writeAll(descriptor.get(), bytes);
  written = descriptor.close() && written;
  if (written && ::rename(partial.c_str(), path.c_str()) == 0) return true;
  ::unlink(partial.c_str());
  return false;
}

}  // namespace brisklane
