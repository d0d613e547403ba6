#include "host/home/reload_requests.h"

#include <array>
#include <cerrno>
#include <string_view>

#include "platform/device/device_folder.h"
#include "platform/os/unix_sockets.h"
#include "platform/widgetkit/widget_center.h"

namespace brisklane {

namespace net = boost::asio;
using DatagramSocket = net::local::datagram_protocol::socket;

Result<std::unique_ptr<ReloadRequests>> ReloadRequests::bind(net::io_context& context,
                                                             const std::filesystem::path& path) {
  if (!fitsSocketAddress(path)) {
    return Failure{"the device root is too long for a socket: " + path.string()};
  }
  if (!makeFolders(path.parent_path())) {
    return Failure{"cannot make the folder " + path.parent_path().string()};
  }
  auto bound = bindDatagramSocket(path);
  if (!bound) {
    if (bound.reason().error == EADDRINUSE) {
      return Failure{"another widget host serves this device (" + path.string() + ")"};
    }
    return Failure{bound.reason().message};
  }
  std::unique_ptr<ReloadRequests> requests(new ReloadRequests(context, std::move(bound->file)));
  boost::system::error_code error;
  requests->socket_.assign(net::local::datagram_protocol(), bound->descriptor.get(), error);
  if (error) return Failure{"cannot listen on " + path.string() + ": " + error.message()};
  static_cast<void>(bound->descriptor.release());  // the Asio socket owns it now
  requests->socket_.non_blocking(true, error);
  return requests;
}

ReloadRequests::~ReloadRequests() {
  boost::system::error_code ignored;
  socket_.close(ignored);
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
