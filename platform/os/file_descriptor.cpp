#include "platform/os/file_descriptor.h"

#include <cerrno>
#include <string>

#include "platform/os/system_faults.h"

namespace brisklane {
namespace {

std::string descriptorName(int descriptor) {
  return "descriptor " + std::to_string(descriptor);
}

}  // namespace

SystemResult<FileDescriptor> duplicate(int descriptor) {
  FileDescriptor copy(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
  if (!copy) return systemFailure("duplicate", descriptorName(descriptor), errno);
  return copy;
}

void keepFromChildProcesses(int descriptor) {
  ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
}

SystemResult<std::size_t> readSome(int descriptor, std::span<char> buffer) {
  while (true) {
    const ssize_t got = ::read(descriptor, buffer.data(), buffer.size());
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return systemFailure("read", descriptorName(descriptor), errno);
  }
}

SystemStatus writeAll(int descriptor, std::string_view bytes) {
  if (const int injected = injectedError(testing::SystemFault::write)) {
    return systemFailure("write", descriptorName(descriptor), injected);
  }
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    // A write of nothing to a descriptor that took none is a full device.
    if (written <= 0) {
      return systemFailure("write", descriptorName(descriptor), written < 0 ? errno : ENOSPC);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace brisklane
