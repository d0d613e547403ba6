#include "platform/os/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/os/system_faults.h"

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

}  // namespace

SystemResult<std::string> readFile(const std::filesystem::path& path, std::size_t limit) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return systemFailure("read", path.string(), errno);
  std::string content;
  std::array<char, std::size_t{64} * 1024> chunk;
  while (true) {
    const auto got = readSome(file.get(), chunk);
    if (!got) return systemFailure("read", path.string(), got.reason().error);
    if (*got == 0) return content;
    if (content.size() + *got > limit) return systemFailure("read", path.string(), EFBIG);
    content.append(chunk.data(), *got);
  }
}

SystemStatus writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                 mode_t mode) {
  const std::filesystem::path partial = partialName(path);
  FileDescriptor file(
      ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
  if (!file) return systemFailure("write", path.string(), errno);
  int error = 0;
  if (const SystemStatus written = writeAll(file.get(), bytes); !written) {
    error = written.reason().error;
  }
  if (!file.close() && error == 0) error = errno;
  if (error == 0) {
    error = injectedError(testing::SystemFault::rename);
    if (error == 0 && ::rename(partial.c_str(), path.c_str()) == 0) return {};
    if (error == 0) error = errno;
    ::unlink(partial.c_str());
    return systemFailure("replace", path.string(), error);
  }
  ::unlink(partial.c_str());
  return systemFailure("write", path.string(), error);
}

SystemStatus makeFolders(const std::filesystem::path& folder) {
  std::filesystem::path built;
  for (const auto& part : folder) {
    built /= part;
    if (::mkdir(built.c_str(), 0700) == 0) continue;
    const int error = errno;
    if (error != EEXIST) return systemFailure("make the folder", folder.string(), error);
    const auto status = fileStatus(built, Links::follow);
    if (!status) return systemFailure("make the folder", folder.string(), status.reason().error);
    if (!S_ISDIR(status->st_mode))
      return systemFailure("make the folder", folder.string(), ENOTDIR);
  }
  return {};
}

TemporaryFolder::TemporaryFolder(std::string_view prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + ".XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
  } else {
    error_ = systemError("make the folder", pattern, errno);
  }
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

SystemResult<FileDescriptor> openPrivateFile(const std::filesystem::path& path) {
  FileDescriptor file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file) return systemFailure("open", path.string(), errno);
  return file;
}

SystemResult<FileDescriptor> lockFile(const std::filesystem::path& path, LockWait wait) {
  auto file = openPrivateFile(path);
  if (!file) return file;
  const int operation = wait == LockWait::never ? LOCK_EX | LOCK_NB : LOCK_EX;
  int answer = 0;
  do {
    answer = ::flock(file->get(), operation);
  } while (answer != 0 && errno == EINTR);
  if (answer != 0) return systemFailure("lock", path.string(), errno);
  return file;
}

SystemResult<struct stat> fileStatus(const std::filesystem::path& path, Links links) {
  struct stat status {};
  const int answer =
      links == Links::follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
  if (answer != 0) return systemFailure("examine", path.string(), errno);
  return status;
}

SystemStatus writeFileMakingFolders(const std::filesystem::path& path, std::string_view bytes) {
  if (auto made = makeFolders(path.parent_path()); !made) return made;
  return writeFileAtomically(path, bytes);
}

}  // namespace brisklane
