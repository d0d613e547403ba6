// Unix sockets at paths in the device folder. A program that serves one
// binds it here and hands the descriptor to its event loop; the file is its
// own until the `SocketFile` goes, which removes it. A socket file left by a
// process that died is taken over; one that somebody answers on is not
// (EADDRINUSE). Sockets are private to the device's owner (0600) and closed
// on exec, so that the programs a host starts do not hold them.
#pragma once

#include <filesystem>
#include <string_view>
#include <utility>

#include "platform/os/file_descriptor.h"
#include "platform/os/system_error.h"

namespace brisklane {

enum class SocketKind { datagram, stream };

// Whether `path` fits in a socket address (about a hundred bytes); no
// process can listen at a path that does not.
[[nodiscard]] bool fitsSocketAddress(const std::filesystem::path& path);

// The socket file of a socket this process bound; removed when this goes.
class SocketFile {
 public:
  SocketFile() = default;
  explicit SocketFile(std::filesystem::path path) : path_(std::move(path)) {}
  SocketFile(SocketFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  SocketFile& operator=(SocketFile&& other) noexcept {
    if (this != &other) {
      remove();
      path_ = std::exchange(other.path_, {});
    }
    return *this;
  }
  SocketFile(const SocketFile&) = delete;
  SocketFile& operator=(const SocketFile&) = delete;
  ~SocketFile() { remove(); }

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  void remove();

 private:
  std::filesystem::path path_;  // empty when it holds none
};

struct BoundSocket {
  FileDescriptor descriptor;  // for the event loop to take over
  SocketFile file;
};

// A datagram socket bound at `path`, or why not: ENAMETOOLONG for a path too
// long, EADDRINUSE when somebody receives there.
[[nodiscard]] SystemResult<BoundSocket> bindDatagramSocket(const std::filesystem::path& path);

// A stream socket listening at `path` with `backlog`; failures as above.
[[nodiscard]] SystemResult<BoundSocket> listenOnStreamSocket(const std::filesystem::path& path,
                                                             int backlog);

// Whether a process receives at `path` on a socket of `kind`: a socket file
// left by one that has ended refuses. Nothing is sent.
[[nodiscard]] bool anyoneListens(const std::filesystem::path& path, SocketKind kind);

// Sends `message` to the datagram socket at `path` without waiting; why
// not when nobody receives there or its queue is full.
[[nodiscard]] SystemStatus sendDatagram(const std::filesystem::path& path,
                                        std::string_view message);

}  // namespace brisklane
