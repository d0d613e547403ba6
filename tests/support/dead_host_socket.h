// The socket file of a widget host that died: it stays at the device's
// socket path, with nobody receiving on it.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/foundation/device_folder.h"
#include "platform/foundation/file_descriptor.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane::testing {

inline void leaveSocketOfDeadHost() {
  ASSERT_TRUE(makeFolders(widgetHostSocketPath().parent_path()));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, widgetHostSocketPath().c_str());
  FileDescriptor dead(::socket(AF_UNIX, SOCK_DGRAM, 0));
  ASSERT_EQ(::bind(dead.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
}

}  // namespace brisklane::testing
