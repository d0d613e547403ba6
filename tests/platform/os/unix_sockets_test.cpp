#include "platform/os/unix_sockets.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

int socketType(SocketKind kind) {
  return kind == SocketKind::datagram ? SOCK_DGRAM : SOCK_STREAM;
}

// The file a process that died left at `path`: bound, then closed.
void leaveSocketFile(const std::filesystem::path& path, SocketKind kind) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  FileDescriptor socket(::socket(AF_UNIX, socketType(kind), 0));
  ASSERT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
}

// That a host or an application takes over its own socket file is their
// fault tests'; here, that a live listener is told from a file left behind.
TEST(UnixSockets, TakeOverAFileNobodyAnswersOnButNeverALiveListener) {
  testing::TemporaryDevice device;
  for (SocketKind kind : {SocketKind::datagram, SocketKind::stream}) {
    const auto path = device.root() / (kind == SocketKind::datagram ? "dgram.sock" : "stream.sock");
    const auto bind = [&] {
      return kind == SocketKind::datagram ? bindDatagramSocket(path)
                                          : listenOnStreamSocket(path, 1);
    };
    leaveSocketFile(path, kind);
    EXPECT_FALSE(anyoneListens(path, kind));
    {
      auto first = bind();
      ASSERT_TRUE(first) << first.reason().message;
      EXPECT_TRUE(anyoneListens(path, kind));
      struct stat status {};
      ASSERT_EQ(::stat(path.c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 0777, 0600u);

      const auto second = bind();
      ASSERT_FALSE(second);
      EXPECT_EQ(second.reason().message,
                "cannot bind " + path.string() + ": Address already in use");
      EXPECT_TRUE(anyoneListens(path, kind)) << "the live listener keeps its file";
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << "a socket's file goes with it";
  }
}

}  // namespace
}  // namespace brisklane
