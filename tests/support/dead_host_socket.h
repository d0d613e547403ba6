// A widget host's socket at the device's socket path, bound and not read:
// kept, it plays a running host; let go, one that died and left its file.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "platform/device/device_folder.h"
#include "platform/os/file_descriptor.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane::testing {

inline FileDescriptor bindWidgetHostSocket() {
  EXPECT_TRUE(makeFolders(widgetHostSocketPath().parent_path()));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, widgetHostSocketPath().c_str());
  FileDescriptor socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  EXPECT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return socket;
}

inline void leaveSocketOfDeadHost() {
  bindWidgetHostSocket();
}

}  // namespace brisklane::testing
