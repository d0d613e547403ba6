// Files and folders as the programs keep them: read whole, written so that
// no reader ever sees part of one, folders and files private to their owner.
//
// An atomic write puts the bytes in a new file beside the target, which is
// then renamed over it: a reader opens either the old file or the whole new
// one, and a write that fails leaves the old one and nothing beside it.
// Nothing is synced to disk: the guarantee is against readers, not against a
// crash.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/file_descriptor.h"
#include "platform/os/system_error.h"

namespace brisklane {

// The whole content of `path`; why not when it cannot be read or holds more
// than `limit` bytes (EFBIG), which records that must be small pass.
[[nodiscard]] SystemResult<std::string> readFile(
    const std::filesystem::path& path,
    std::size_t limit = std::numeric_limits<std::size_t>::max() - 1);

// Writes `bytes` to `path` atomically, the file created with `mode` (the
// device folder's files are private to its owner).
[[nodiscard]] SystemStatus writeFileAtomically(const std::filesystem::path& path,
                                               std::string_view bytes, mode_t mode = 0600);

// `writeFileAtomically`, after making the file's folder and its parents as
// `makeFolders` does.
[[nodiscard]] SystemStatus writeFileMakingFolders(const std::filesystem::path& path,
                                                  std::string_view bytes);

// Creates `folder` and its missing parents with mode 0700; why not when a
// part of the path exists and is not a folder, or cannot be made.
[[nodiscard]] SystemStatus makeFolders(const std::filesystem::path& folder);

// Opens `path` to read and write, creating it 0600 when it is missing; a
// symbolic link there is refused, never followed.
[[nodiscard]] SystemResult<FileDescriptor> openPrivateFile(const std::filesystem::path& path);

// `path` opened as `openPrivateFile` does and locked (flock, exclusive) for
// as long as the descriptor lives; EWOULDBLOCK when another holds the lock,
// unless `LockWait::untilFree` waits for it (for locks held only as long as
// one short change takes).
enum class LockWait { never, untilFree };
[[nodiscard]] SystemResult<FileDescriptor> lockFile(const std::filesystem::path& path,
                                                    LockWait wait = LockWait::never);

// What the file system says of `path`: of what a symbolic link there points
// to (`follow`), or of the link itself.
enum class Links { follow, notFollowed };
[[nodiscard]] SystemResult<struct stat> fileStatus(const std::filesystem::path& path, Links links);

// A new folder of its own in the system's temporary folder, named `prefix`
// and a random suffix, private to its owner; removed with everything in it
// when the value goes.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(std::string_view prefix);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Empty when none could be made; `error` says why.
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] const std::optional<SystemError>& error() const { return error_; }

 private:
  std::filesystem::path path_;
  std::optional<SystemError> error_;
};

}  // namespace brisklane
