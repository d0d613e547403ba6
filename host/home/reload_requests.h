// The socket that reload requests arrive on: `WidgetCenter`'s datagrams,
// read on the host's event loop. A socket file left by a host that died is
// taken over; one that a live host answers on is not.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/datagram_protocol.hpp>
#include <filesystem>
#include <functional>
#include <memory>

#include "base/result.h"
#include "platform/os/unix_sockets.h"

namespace brisklane {

class ReloadRequests {
 public:
  // Binds `path` (0600), taking over a socket file that nobody answers on;
  // else why it cannot.
  static Result<std::unique_ptr<ReloadRequests>> bind(boost::asio::io_context& context,
                                                      const std::filesystem::path& path);

  ~ReloadRequests();

  // Calls `onReload` on the loop each time requests to reload all timelines
  // have arrived: every datagram waiting is read first, so that the schedule
  // hears of a whole burst before a round begins.
  void listen(std::function<void()> onReload) {
    onReload_ = std::move(onReload);
    waitForNext();
  }

 private:
  ReloadRequests(boost::asio::io_context& context, SocketFile file)
      : file_(std::move(file)), socket_(context) {}

  void waitForNext();

  SocketFile file_;  // removed after the socket has closed
  boost::asio::local::datagram_protocol::socket socket_;
  std::function<void()> onReload_;
};

}  // namespace brisklane
