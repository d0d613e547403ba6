// A small HTTP and WebSocket server on the loopback address, for the pages a
// browser on this machine opens from this process: the host application's web
// layer and its bridge, the widget host's home-screen page. It serves fixed
// in-memory resources, dynamic routes and the files of one folder, and turns
// one path into WebSockets.
//
// Only the page this process hands out may use it. Every request must carry
// the run's token (once in the address, which answers with a cookie and a
// redirect that drops it from the address bar; then in that cookie), name the
// server's own address as its Host (no DNS rebinding), and, where a browser
// says where it comes from, the server's own origin. Changes (methods other
// than GET and HEAD) and WebSocket upgrades must say where they come from.
// Responses never allow other origins and are never cached.
//
// Threading: the server runs on a caller's io_context that one thread runs;
// every callback runs on that thread. `start` and the destructor belong to that
// thread too (or to a time when nothing runs the io_context). Only the
// WebSocketPeer operations may be called from any thread, and only while the
// io_context exists.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/result.h"

namespace boost::asio {
class io_context;
}

namespace brisklane {

struct HttpRequest {
  std::string method;                        // as sent: "GET", "POST", ...
  std::string path;                          // percent-decoded, without the query
  std::map<std::string, std::string> query;  // decoded; the first of repeated names; no token
  std::string body;
  std::string contentType;  // the Content-Type header, empty when absent
};

struct HttpResponse {
  unsigned status = 200;
  std::string contentType;  // none is sent when empty
  std::string body;
  // More headers. The server's own (security, caching, length, cookies) win
  // over these, and cross-origin (Access-Control-*) headers are never sent.
  std::vector<std::pair<std::string, std::string>> headers;
};

// One open WebSocket, handed to the owner when a page connects. The owner
// keeps it as long as it wants to push to that page.
class WebSocketPeer {
 public:
  // Queues one text message. Safe from any thread; messages sent from one
  // thread arrive in the order sent. Dropped once the socket is closed.
  virtual void send(std::string text) = 0;
  [[nodiscard]] virtual bool isOpen() const = 0;
  // Sends what is queued, then closes. Safe from any thread.
  virtual void close() = 0;
  virtual ~WebSocketPeer() = default;
};

struct WebSocketHandlers {
  std::function<void(std::string)> onMessage;
  // Once, when the socket ends, whichever side ended it. Not after the server
  // is destroyed.
  std::function<void()> onClose;
};

struct LoopbackServerLimits {
  std::size_t requestHeaderBytes = std::size_t{16} * 1024;
  std::size_t requestBodyBytes = std::size_t{1024} * 1024;
  std::size_t webSocketMessageBytes = std::size_t{1024} * 1024;
  // Messages queued for one peer beyond this mean the page does not read;
  // the peer is closed instead of growing without end.
  std::size_t queuedWebSocketBytes = std::size_t{8} * 1024 * 1024;
  std::size_t connections = 64;
  std::chrono::milliseconds requestTimeout{10'000};  // to send one whole request
  std::chrono::milliseconds idleTimeout{60'000};     // between requests on one connection
};

struct LoopbackServerOptions {
  std::uint16_t port = 0;              // 0: any free port
  std::string token;                   // the run's secret, from makeToken; must not be empty
  std::filesystem::path documentRoot;  // files served under "/"; empty: none
  // Inserted right after the opening <head> tag of every HTML file served
  // from documentRoot (after the doctype when there is no head tag), so that
  // scripts it names run before any script of the page.
  std::string headInsert;
  // Fixed in-memory files by exact decoded path, served before anything else.
  std::map<std::string, HttpResponse, std::less<>> resources;
  // Dynamic routes, asked before documentRoot; nothing: not one of them.
  std::function<std::optional<HttpResponse>(const HttpRequest&)> onRequest;
  std::string webSocketPath;  // e.g. "/_brisklane/socket"; empty: no WebSockets
  std::function<WebSocketHandlers(std::shared_ptr<WebSocketPeer>)> onWebSocket;
  LoopbackServerLimits limits;
};

class LoopbackServer {
 public:
  // Listens on 127.0.0.1:port and starts accepting; or why it cannot.
  static Result<std::unique_ptr<LoopbackServer>> start(boost::asio::io_context& context,
                                                       LoopbackServerOptions options);

  // Stops accepting and closes every connection and WebSocket. No callback
  // runs after this, though the io_context still finishes the cancelled work.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  [[nodiscard]] std::uint16_t port() const;
  [[nodiscard]] std::string origin() const;  // "http://127.0.0.1:PORT"
  // The address to open first: origin, path and the token.
  [[nodiscard]] std::string url(std::string_view path = "/") const;

  struct State;

 private:
  explicit LoopbackServer(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;  // shared with the connections, which outlive the server
};

// A fresh secret of 128 random bits from the kernel, as 32 lowercase hex
// digits; empty in the unlikely case the kernel has no randomness to give.
[[nodiscard]] std::string makeToken();

}  // namespace brisklane
