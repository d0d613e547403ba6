#include "platform/widgetkit/widget_center.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <fstream>

#include "tests/support/dead_host_socket.h"
#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

// That the host draws again on each reload request is the widget host's
// serve test; here, that a host which does not read blocks nobody.
TEST(WidgetCenter, NeverBlocksOnARunningHostThatDoesNotRead) {
  testing::TemporaryDevice device;
  FileDescriptor host = testing::bindWidgetHostSocket();
  // Far more than a datagram socket queues; a blocking send would hang here.
  for (int i = 0; i < 1000; ++i) WidgetCenter::shared().reloadAllTimelines();
  char request[64] = {};
  EXPECT_GT(::recv(host.get(), request, sizeof request - 1, MSG_DONTWAIT), 0);
  EXPECT_STREQ(request, "reloadAllTimelines");
}

TEST(WidgetCenter, DoesNothingWithoutAHost) {
  testing::TemporaryDevice device;
  auto before = testing::reloadRequestCount();
  WidgetCenter::shared().reloadAllTimelines();  // no run folder at all
  EXPECT_FALSE(std::filesystem::exists(device.root() / "run"));

  testing::leaveSocketOfDeadHost();
  WidgetCenter::shared().reloadAllTimelines();

  std::filesystem::remove(widgetHostSocketPath());
  std::ofstream(widgetHostSocketPath()) << "not a socket";
  WidgetCenter::shared().reloadAllTimelines();

  ::setenv("BRISKLANE_HOME", ("/" + std::string(200, 'x')).c_str(), 1);  // too long for a socket
  WidgetCenter::shared().reloadAllTimelines();
  EXPECT_EQ(testing::reloadRequestCount(), before + 4);
}

}  // namespace
}  // namespace brisklane
