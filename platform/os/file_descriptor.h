// The one owner of a raw file descriptor: it closes what it holds when it
// goes, and passes it on only by moving. Everything that keeps a pipe, a
// socket or an open file outside Boost.Asio keeps it in one of these, so no
// path out of a function leaks one and none is closed twice. Beside it, the
// few blocking reads and writes the programs do outside their event loops,
// each retried when a signal interrupts it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/os/system_error.h"

namespace brisklane {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
  FileDescriptor(FileDescriptor&& other) noexcept : descriptor_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  [[nodiscard]] int get() const { return descriptor_; }
  [[nodiscard]] bool valid() const { return descriptor_ >= 0; }
  explicit operator bool() const { return valid(); }

  // Hands the descriptor over without closing it.
  [[nodiscard]] int release() { return std::exchange(descriptor_, -1); }
  // Closes what it holds and holds `descriptor` instead.
  void reset(int descriptor = -1) {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = descriptor;
  }
  // Closes what it holds; false when the system reports an error on the
  // close, as it may for a file whose last write it could not complete.
  [[nodiscard]] bool close() {
    return descriptor_ < 0 || ::close(std::exchange(descriptor_, -1)) == 0;
  }

 private:
  int descriptor_ = -1;
};

// The two ends of a new pipe, closed on exec; why not when the system has
// none to give.
struct Pipe {
  FileDescriptor read;
  FileDescriptor write;

  [[nodiscard]] static SystemResult<Pipe> make() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) return systemFailure("make", "a pipe", errno);
    return Pipe{.read = FileDescriptor(ends[0]), .write = FileDescriptor(ends[1])};
  }
};

// A second descriptor for what `descriptor` refers to, closed on exec.
[[nodiscard]] SystemResult<FileDescriptor> duplicate(int descriptor);

// Keeps `descriptor` from the programs this process starts; for descriptors
// made by code that cannot ask for it when it makes them (Boost.Asio).
void keepFromChildProcesses(int descriptor);

// Reads what is there, at most `buffer.size()` bytes; 0 at the end.
[[nodiscard]] SystemResult<std::size_t> readSome(int descriptor, std::span<char> buffer);

// Writes all of `bytes`, however many calls that takes.
[[nodiscard]] SystemStatus writeAll(int descriptor, std::string_view bytes);

}  // namespace brisklane
