// A small HTTP and WebSocket server on the loopback address, for the pages a
// browser on this machine opens from this process: the host application's web
// layer and its bridge, the widget host's home-screen page. It serves fixed
// in-memory resources, dynamic routes and the files of one folder, and turns
// one path into WebSockets.
//
// Only the page this process hands out may use it. Every request must carry
// the run's token (once in the address, which answers with a cookie and a
// redirect that drops it from the address bar; then in that cookie), name the
// server's own name and port as its Host (no DNS rebinding), and, where a
// browser says where it comes from, the server's own origin; a request whose
// fetch metadata (Sec-Fetch-Site) names another site is refused, and of the
// server's own site only navigations pass. Changes (methods other than GET
// and HEAD) and WebSocket upgrades must say where they come from.
// Responses never allow other origins and are never cached. Their
// Content-Security-Policy is the owner's to choose: strict unless it says
// otherwise, since a page's policy protects the page, not the server.
//
// Nor can callers without the token keep the server's connections from the
// page. A connection is a stranger until one of its requests passes those
// checks: it has `firstRequestTimeout` to send that request, and a refused
// request closes its connection (whoever sent it), so only admitted
// connections stay open between requests. When the server holds as many
// connections as it may, a new one takes the place of the oldest stranger;
// when every connection has been admitted, the new one is closed. However
// many strangers come, the page's next connection finds a place, and none of
// the page's own connections is pushed out for them.
//
// A server may follow a development server (`upstream`): what none of its own
// resources and routes takes is forwarded there after the same checks, and
// WebSockets at other paths than its own are tunnelled there, so that the
// development server's pages run at this server's origin.
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

#include "base/result.h"
#include "platform/web/loopback_origin.h"

namespace boost::asio {
class io_context;
}

namespace brisklane {

struct HttpRequest {
  std::string method;                        // as sent: "GET", "POST", ...
  std::string path;                          // percent-decoded, without the query
  std::map<std::string, std::string> query;  // decoded; the first of repeated names; not the token
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
  // Sent instead of `body` when set: bytes that their owner keeps (a
  // picture), which the answer shares and never copies.
  std::shared_ptr<const std::string> sharedBody;
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
  // Open at once, WebSockets and tunnels included. A page holds its WebSocket
  // and up to six HTTP connections (what a browser opens to one host in
  // parallel), so 128 hold some eighteen pages at once; a forwarded request
  // or a tunnel holds one more descriptor, to the development server. The
  // bound on what each WebSocket queues (above) holds whatever this is.
  std::size_t connections = 128;
  std::chrono::milliseconds requestTimeout{10'000};  // to send one whole request
  std::chrono::milliseconds idleTimeout{60'000};     // between requests on one connection
  // For a stranger, from connecting to its whole first request; never longer
  // than requestTimeout. Strangers never idle: see above.
  std::chrono::milliseconds firstRequestTimeout{3'000};
  // For a development server to answer one forwarded request, or to connect
  // for a tunnel; its first answers may wait for it to bundle dependencies.
  std::chrono::milliseconds upstreamTimeout{30'000};
  std::size_t upstreamResponseBytes = std::size_t{256} * 1024 * 1024;
};

// What a GET for a path that names no file gets from documentRoot.
enum class ClientRoutes {
  notFound,
  // index.html, when the path has no extension: a single-page application's
  // own route ("/today", "/tasks/42") then survives a reload, as it does in
  // the phone's web view. A missing "/app.js" stays missing.
  servedIndex,
};

struct LoopbackServerOptions {
  std::uint16_t port = 0;  // 0: any free port
  // The name the pages are served under; the server listens on 127.0.0.1
  // whatever it is. A name of its own below "localhost" keeps the browser's
  // cookie for the page from every other server on the machine, which
  // "127.0.0.1" (cookies do not tell ports apart) cannot.
  std::string hostName = "127.0.0.1";
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
  ClientRoutes clientRoutes = ClientRoutes::notFound;
  // The Content-Security-Policy header of each answer, asked for every one
  // with the server's own "127.0.0.1:PORT", so that it may follow what
  // changes while the server runs; an empty answer sends none. Unset:
  // strictContentSecurityPolicy(host).
  std::function<std::string(std::string_view host)> contentSecurityPolicy;
  // The development server followed (see above); documentRoot is then not
  // served. HTML it answers gets headInsert as files do.
  std::optional<LoopbackOrigin> upstream;
  LoopbackServerLimits limits;
};

// The policy of a server's own pages: everything from the server itself,
// sockets to itself, framed by no one; `frameSources` (e.g. another server's
// origin) are the pages it may frame besides its own.
[[nodiscard]] std::string strictContentSecurityPolicy(std::string_view host,
                                                      std::string_view frameSources = {});

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
  [[nodiscard]] std::string origin() const;  // "http://HOSTNAME:PORT"
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
