#include "platform/widgetkit/widget_center.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/datagram_protocol.hpp>

#include "platform/device/device_folder.h"
#include "platform/dispatch/dispatch_queue.h"

namespace brisklane {
namespace {

std::atomic<std::uint64_t> reloadRequests{0};

}  // namespace

std::filesystem::path widgetHostSocketPath() {
  return deviceRoot() / "run" / "widget-host.sock";
}

WidgetCenter& WidgetCenter::shared() {
  static WidgetCenter center;
  return center;
}

void WidgetCenter::reloadAllTimelines() {
  using boost::asio::local::datagram_protocol;
  reloadRequests.fetch_add(1, std::memory_order_relaxed);
  std::string path = widgetHostSocketPath().string();
  if (path.size() >= sizeof(sockaddr_un::sun_path)) return;  // no host can listen there

  // The send is synchronous and never waits: the socket is the main queue's
  // loop's only so that it belongs to some loop; any thread may send.
  boost::system::error_code error;
  datagram_protocol::socket socket(DispatchQueue::main().context());
  socket.open(datagram_protocol(), error);
  if (!error) socket.non_blocking(true, error);
  if (error) return;
  // Any failure (ENOENT, ECONNREFUSED, EAGAIN with the host's queue full) is
  // the "no host to tell" case: the request is dropped.
  socket.send_to(boost::asio::buffer(reloadAllTimelinesMessage), datagram_protocol::endpoint(path),
                 MSG_NOSIGNAL, error);
}

namespace testing {

std::uint64_t reloadRequestCount() {
  return reloadRequests.load(std::memory_order_relaxed);
}

}  // namespace testing
}  // namespace brisklane
