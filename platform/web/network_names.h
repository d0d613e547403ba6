// The short names that the loopback server, its tests and the benchmarks that
// talk to it give the file system and Boost's networking namespaces, declared
// once so that each file reads the same.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <filesystem>

namespace boost::beast {
namespace http {}
namespace websocket {}
}  // namespace boost::beast

namespace brisklane {

namespace fs = std::filesystem;
namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

}  // namespace brisklane
