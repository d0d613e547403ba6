#include "platform/os/random.h"

#include <sys/random.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/os/files.h"

namespace brisklane {
namespace {

std::string hexDigits(const std::vector<unsigned char>& bytes) {
  constexpr std::string_view digits = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text.push_back(digits[byte >> 4]);
    text.push_back(digits[byte & 0xf]);
  }
  return text;
}

}  // namespace

SystemResult<std::string> randomHex(std::size_t byteCount) {
  std::vector<unsigned char> bytes(byteCount);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled < bytes.size()) {
    // Kernels without getrandom (or a filter that forbids it) still have this.
    FileDescriptor device(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (!device) return systemFailure("read", "/dev/urandom", errno);
    while (filled < bytes.size()) {
      const auto got = readSome(
          device.get(), {reinterpret_cast<char*>(bytes.data()) + filled, bytes.size() - filled});
      if (!got) return Failure{got.reason()};
      if (*got == 0) return systemFailure("read", "/dev/urandom", EIO);
      filled += *got;
    }
  }
  return hexDigits(bytes);
}

}  // namespace brisklane
