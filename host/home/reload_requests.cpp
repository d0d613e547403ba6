#include "host/home/reload_requests.h"

#include <fcntl.h>
#include <sys/un.h>

#include <array>
#include <string_view>

#include "platform/device/device_folder.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane {

namespace net = boost::asio;
using DatagramSocket = net::local::datagram_protocol::socket;

Result<std::unique_ptr<ReloadRequests>> ReloadRequests::bind(net::io_context& context,
                                                             const std::filesystem::path& path) {
  using Endpoint = net::local::datagram_protocol::endpoint;
  if (path.string().size() >= sizeof(sockaddr_un::sun_path)) {
    return Failure{"the device root is too long for a socket: " + path.string()};
  }
  if (!makeFolders(path.parent_path())) {
    return Failure{"cannot make the folder " + path.parent_path().string()};
  }
  std::unique_ptr<ReloadRequests> requests(new ReloadRequests(context, path));
  DatagramSocket& socket = requests->socket_;
  boost::system::error_code error;
  socket.open(net::local::datagram_protocol(), error);
  if (error) return Failure{"cannot make a socket: " + error.message()};
  ::fcntl(socket.native_handle(), F_SETFD, FD_CLOEXEC);  // not for the applications taps start
  socket.bind(Endpoint(path.string()), error);
  if (error == net::error::address_in_use) {
    DatagramSocket probe(context);
    boost::system::error_code probeError;
    probe.open(net::local::datagram_protocol(), probeError);
    if (!probeError) probe.connect(Endpoint(path.string()), probeError);
    if (!probeError) {
      return Failure{"another widget host serves this device (" + path.string() + ")"};
    }
    std::error_code removeError;
    std::filesystem::remove(path, removeError);
    socket.bind(Endpoint(path.string()), error);
  }
  if (error) return Failure{"cannot listen on " + path.string() + ": " + error.message()};
  requests->bound_ = true;
  std::error_code modeError;
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, modeError);
  socket.non_blocking(true, error);
  return requests;
}

ReloadRequests::~ReloadRequests() {
  boost::system::error_code ignored;
  socket_.close(ignored);
  std::error_code notRemoved;
  if (bound_) std::filesystem::remove(path_, notRemoved);
}

void ReloadRequests::waitForNext() {
  socket_.async_wait(DatagramSocket::wait_read, [this](const boost::system::error_code& error) {
    if (error) return;  // closed
    bool requested = false;
    std::array<char, 64> message;
    while (true) {
      boost::system::error_code readError;
      const std::size_t size = socket_.receive(net::buffer(message), 0, readError);
      if (readError) break;
      requested |= std::string_view(message.data(), size) == reloadAllTimelinesMessage;
    }
    if (requested) onReload_();
    waitForNext();
  });
}

}  // namespace brisklane
