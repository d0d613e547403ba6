#include "platform/os/unix_sockets.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "platform/os/system_faults.h"

namespace brisklane {
namespace {

int socketType(SocketKind kind) {
  return kind == SocketKind::datagram ? SOCK_DGRAM : SOCK_STREAM;
}

// The address of `path`, which must fit in one.
sockaddr_un addressOf(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.native().size() + 1);
  return address;
}

SystemResult<FileDescriptor> makeSocket(const std::filesystem::path& path, SocketKind kind,
                                        int flags) {
  FileDescriptor socket(::socket(AF_UNIX, socketType(kind) | SOCK_CLOEXEC | flags, 0));
  if (!socket) return systemFailure("make a socket for", path.string(), errno);
  return socket;
}

// Binds a new socket at `path`, taking over a file nobody answers on.
SystemResult<BoundSocket> bindSocket(const std::filesystem::path& path, SocketKind kind) {
  if (!fitsSocketAddress(path)) return systemFailure("bind", path.string(), ENAMETOOLONG);
  auto socket = makeSocket(path, kind, 0);
  if (!socket) return Failure{socket.reason()};
  const sockaddr_un address = addressOf(path);
  const auto bind = [&] {
    if (const int injected = injectedError(testing::SystemFault::bind)) return injected;
    return ::bind(socket->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
               ? 0
               : errno;
  };
  int error = bind();
  if (error == EADDRINUSE && !anyoneListens(path, kind)) {
    ::unlink(path.c_str());
    error = bind();
  }
  if (error != 0) return systemFailure("bind", path.string(), error);
  SocketFile file(path);
  if (::chmod(path.c_str(), 0600) != 0) return systemFailure("protect", path.string(), errno);
  return BoundSocket{.descriptor = std::move(*socket), .file = std::move(file)};
}

}  // namespace

bool fitsSocketAddress(const std::filesystem::path& path) {
  return path.native().size() < sizeof(sockaddr_un::sun_path);
}

void SocketFile::remove() {
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

SystemResult<BoundSocket> bindDatagramSocket(const std::filesystem::path& path) {
  return bindSocket(path, SocketKind::datagram);
}

SystemResult<BoundSocket> listenOnStreamSocket(const std::filesystem::path& path, int backlog) {
  auto bound = bindSocket(path, SocketKind::stream);
  if (bound && ::listen(bound->descriptor.get(), backlog) != 0) {
    return systemFailure("listen on", path.string(), errno);
  }
  return bound;
}

bool anyoneListens(const std::filesystem::path& path, SocketKind kind) {
  if (!fitsSocketAddress(path)) return false;
  // Not blocking: a listener whose backlog is full makes a connection wait,
  // and answers EAGAIN here instead. It listens all the same.
  auto probe = makeSocket(path, kind, SOCK_NONBLOCK);
  if (!probe) return false;
  const sockaddr_un address = addressOf(path);
  return ::connect(probe->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
             0 ||
         errno == EAGAIN || errno == EINPROGRESS;
}

SystemStatus sendDatagram(const std::filesystem::path& path, std::string_view message) {
  if (!fitsSocketAddress(path)) return systemFailure("send to", path.string(), ENAMETOOLONG);
  auto socket = makeSocket(path, SocketKind::datagram, SOCK_NONBLOCK);
  if (!socket) return Failure{socket.reason()};
  const sockaddr_un address = addressOf(path);
  if (::sendto(socket->get(), message.data(), message.size(), MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    return systemFailure("send to", path.string(), errno);
  }
  return {};
}

}  // namespace brisklane
