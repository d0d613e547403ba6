// The loopback server: an acceptor, one HttpSession per connection that reads
// requests with Beast's parser, judges and answers them, and one
// WebSocketSession per upgraded connection. It is the one translation unit
// that instantiates Beast's HTTP and WebSocket templates for the server.
//
// Lifetimes: a session keeps itself alive through the handler it has pending
// and shares the server's State; the State holds sessions only weakly, to
// close them when the server goes. Once the server is gone `State::stopped`
// is set and no session calls the owner again; the io_context then finishes
// the cancelled operations and the sessions fall away.
//
// Files are read whole, on the io_context's thread: the server serves the
// developer's own pages to one browser, not large downloads to many.
#include "platform/web/loopback_server.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/optional/optional.hpp>
#include <cerrno>
#include <deque>
#include <fstream>
#include <limits>

#include "platform/os/file_descriptor.h"
#include "platform/os/files.h"
#include "platform/os/random.h"
#include "platform/web/http_text.h"
#include "platform/web/network_names.h"
#include "platform/web/request_check.h"
#include "platform/web/static_files.h"

namespace brisklane {
namespace {

// The body of an answer: text of its own, or bytes that its owner keeps and
// shares (a picture), written from where they lie.
struct AnswerBody {
  struct value_type {
    std::string text;
    std::shared_ptr<const std::string> shared;  // sent instead of `text` when set

    [[nodiscard]] std::string_view bytes() const {
      return shared ? std::string_view(*shared) : std::string_view(text);
    }
    void clear() {
      text.clear();
      shared.reset();
    }
  };

  static std::uint64_t size(const value_type& body) { return body.bytes().size(); }

  class writer {
   public:
    using const_buffers_type = net::const_buffer;
    template <bool isRequest, class Fields>
    writer(const http::header<isRequest, Fields>&, const value_type& body) : body_(body) {}
    void init(beast::error_code& error) { error = {}; }
    boost::optional<std::pair<const_buffers_type, bool>> get(beast::error_code& error) {
      error = {};
      const std::string_view bytes = body_.bytes();
      return {{const_buffers_type(bytes.data(), bytes.size()), false}};
    }

   private:
    const value_type& body_;
  };
};

using Request = http::request<http::string_body>;
using Response = http::response<AnswerBody>;
using UpstreamResponse = http::response<http::string_body>;
using namespace web;  // the checks, their refusals and the text operations

constexpr std::string_view plainText = "text/plain; charset=utf-8";
constexpr std::size_t readChunkBytes = 4096;
constexpr std::size_t ownerHeaderBytes = 8192;
// How long a connection refused mid-request may go on sending before it is
// cut off: reading what it sends lets it see the refusal instead of a reset.
constexpr std::chrono::milliseconds lingerTime{2000};
constexpr std::chrono::milliseconds acceptRetryDelay{100};

constexpr std::size_t tunnelChunkBytes = 16384;

std::string_view view(beast::string_view text) {
  return {text.data(), text.size()};
}
beast::string_view beastView(std::string_view text) {
  return {text.data(), text.size()};
}

// What the checks read of a parsed request; it views `request`.
RequestHead headOf(const Request& request) {
  const auto all = [&](http::field name) {
    std::vector<std::string_view> values;
    auto [field, end] = request.equal_range(name);
    for (; field != end; ++field) values.push_back(view(field->value()));
    return values;
  };
  RequestHead head{.method = view(request.method_string()),
                   .target = view(request.target()),
                   .hosts = all(http::field::host),
                   .origins = all(http::field::origin),
                   .cookies = all(http::field::cookie),
                   .fetchMode = view(request["Sec-Fetch-Mode"]),
                   .contentType = view(request[http::field::content_type]),
                   .webSocketUpgrade = websocket::is_upgrade(request),
                   .body = request.body()};
  if (auto site = request.find("Sec-Fetch-Site"); site != request.end()) {
    head.fetchSite = view(site->value());
  }
  return head;
}

void limitParser(http::request_parser<http::string_body>& parser,
                 const LoopbackServerLimits& limits) {
  parser.header_limit(static_cast<std::uint32_t>(
      std::min<std::size_t>(limits.requestHeaderBytes, std::numeric_limits<std::uint32_t>::max())));
  parser.body_limit(std::uint64_t{limits.requestBodyBytes});
}

// The answer to a request that could not be read; nothing when the client
// left, timed out or broke the connection, since nobody would read it.
std::optional<Refusal> refusalForReadError(const beast::error_code& error) {
  if (error == http::error::header_limit) return headerTooLarge;
  if (error == http::error::body_limit) return bodyTooLarge;
  if (error == http::error::end_of_stream || error == http::error::partial_message) {
    return std::nullopt;
  }
  if (error.category() == make_error_code(http::error::bad_target).category()) return malformed;
  return std::nullopt;
}

bool isTokenCharacter(char character) {
  char lower = asciiLower(character);
  return (lower >= 'a' && lower <= 'z') || (character >= '0' && character <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(character) != std::string_view::npos;
}

bool isSafeHeaderValue(std::string_view value) {
  return value.size() <= ownerHeaderBytes &&
         value.find_first_of("\r\n") == std::string_view::npos &&
         value.find('\0') == std::string_view::npos;
}

// Headers an owner may add: not those that frame the message or that the
// server owns, and never one that opens the page to other origins.
bool isOwnerHeader(std::string_view name, std::string_view value) {
  constexpr std::array<std::string_view, 7> reserved{
      "content-length",         "transfer-encoding",      "connection",
      "cache-control",          "x-content-type-options", "referrer-policy",
      "content-security-policy"};
  if (name.empty() || name.size() > ownerHeaderBytes || !isSafeHeaderValue(value)) return false;
  for (char character : name) {
    if (!isTokenCharacter(character)) return false;
  }
  if (startsWithIgnoringCase(name, "access-control-")) return false;
  for (auto taken : reserved) {
    if (equalIgnoringCase(name, taken)) return false;
  }
  return true;
}

Response plainResponse(const Refusal& refusal) {
  Response response;
  response.result(refusal.status);
  response.set(http::field::content_type, beastView(plainText));
  response.body().text = std::string(refusal.reason);
  return response;
}

Response responseFromOwner(const HttpResponse& answer) {
  if (answer.status < 200 || answer.status > 599) return plainResponse(badRouteAnswer);
  Response response;
  response.result(answer.status);
  for (const auto& [name, value] : answer.headers) {
    if (isOwnerHeader(name, value)) response.insert(beastView(name), beastView(value));
  }
  if (!answer.contentType.empty() && isSafeHeaderValue(answer.contentType)) {
    response.set(http::field::content_type, beastView(answer.contentType));
  }
  if (answer.sharedBody) {
    response.body().shared = answer.sharedBody;
  } else {
    response.body().text = answer.body;
  }
  return response;
}

Response redirectResponse(unsigned status, std::string_view location) {
  Response response;
  response.result(status);
  response.set(http::field::location, beastView(location));
  return response;
}

// The page's address never reaches another site. "no-referrer" would go
// further and make browsers send "Origin: null" with the page's own form
// posts, which the Origin check must refuse.
void addSecurityHeaders(http::fields& fields, std::string_view contentSecurityPolicy) {
  fields.set(http::field::cache_control, "no-store");
  fields.set("X-Content-Type-Options", "nosniff");
  fields.set("Referrer-Policy", "same-origin");
  if (!contentSecurityPolicy.empty() && isSafeHeaderValue(contentSecurityPolicy)) {
    fields.set("Content-Security-Policy", beastView(contentSecurityPolicy));
  }
}

std::optional<std::string> readWholeFile(const fs::path& path) {
  auto content = readFile(path);
  if (!content) return std::nullopt;
  return std::move(content).value();
}

// A Cookie header's pairs without the one named `name`.
std::string cookiesWithout(std::string_view header, std::string_view name) {
  std::string kept;
  forEachPiece(header, ';', [&](std::string_view pair) {
    pair = trimSpaces(pair);
    if (pair.empty() || trimSpaces(pair.substr(0, pair.find('='))) == name) return;
    if (!kept.empty()) kept += "; ";
    kept += pair;
  });
  return kept;
}

enum class Forwarding { request, upgrade };

// What a development server gets of an admitted request: the same, but for
// the Host it expects, none of this server's token and cookie, and bodies
// that are not compressed (HTML gets the head insert). An upgrade keeps what
// makes it one; a plain request is the only one on its connection.
Request forwardedRequest(Request request, const web::Admission& admission,
                         const web::RequestPolicy& policy, const LoopbackOrigin& upstream,
                         Forwarding forwarding) {
  std::string target = admission.rawPath;
  if (!admission.forwardedQuery.empty()) target += "?" + admission.forwardedQuery;
  request.target(beastView(target));
  request.set(http::field::host, beastView(upstream.hostAndPort()));
  std::string cookies;
  auto [field, end] = request.equal_range(http::field::cookie);
  for (; field != end; ++field) {
    std::string kept = cookiesWithout(view(field->value()), policy.cookieName);
    if (kept.empty()) continue;
    if (!cookies.empty()) cookies += "; ";
    cookies += kept;
  }
  request.erase(http::field::cookie);
  if (!cookies.empty()) request.set(http::field::cookie, beastView(cookies));
  request.erase(http::field::accept_encoding);
  if (forwarding == Forwarding::request) {
    for (auto hop : {http::field::connection, http::field::keep_alive, http::field::upgrade,
                     http::field::te, http::field::trailer, http::field::transfer_encoding,
                     http::field::proxy_authorization, http::field::proxy_connection}) {
      request.erase(hop);
    }
    request.keep_alive(false);
    request.prepare_payload();
  }
  return request;
}

class Connection {
 public:
  virtual ~Connection() = default;
  // Closes the socket at once; no callback of the owner runs afterwards.
  virtual void stop() = 0;
};

// Whether one of a connection's requests has passed the checks. Until then
// it is a stranger: it may send one request, soon, and it is the first to
// make way when the server is full.
enum class Standing { stranger, admitted };

}  // namespace

struct LoopbackServer::State {
  State(net::io_context& ioContext, LoopbackServerOptions serverOptions, fs::path root)
      : context(ioContext),
        options(std::move(serverOptions)),
        canonicalRoot(std::move(root)),
        acceptor(ioContext),
        acceptRetry(ioContext) {}

  std::uint64_t add(const std::shared_ptr<Connection>& connection, Standing standing) {
    connections.emplace(++lastConnection, OpenConnection{connection, standing});
    return lastConnection;
  }
  void remove(std::uint64_t connection) { connections.erase(connection); }
  void admit(std::uint64_t connection) {
    if (auto open = connections.find(connection); open != connections.end()) {
      open->second.standing = Standing::admitted;
    }
  }

  // Whether a new connection may come in, once the oldest strangers have
  // made way for it. Admitted connections never do: strangers holding every
  // place must not lock the page out, nor push the page's own sockets out.
  bool makeRoom() {
    while (connections.size() >= options.limits.connections) {
      auto stranger = std::ranges::find_if(
          connections, [](const auto& open) { return open.second.standing == Standing::stranger; });
      if (stranger == connections.end()) return false;
      auto evicted = stranger->second.connection.lock();
      connections.erase(stranger);
      if (evicted) evicted->stop();
    }
    return true;
  }

  void stop() {
    stopped = true;
    beast::error_code ignored;
    acceptor.close(ignored);
    // Closing a connection may end it, and its end removes it from the map.
    auto open = std::exchange(connections, {});
    for (auto& [id, connection] : open) {
      if (auto live = connection.connection.lock()) live->stop();
    }
  }

  [[nodiscard]] std::string contentSecurityPolicy() const {
    return options.contentSecurityPolicy ? options.contentSecurityPolicy(policy.host)
                                         : strictContentSecurityPolicy(policy.host);
  }

  net::io_context& context;
  LoopbackServerOptions options;
  fs::path canonicalRoot;  // empty: no files
  web::RequestPolicy policy;
  tcp::acceptor acceptor;
  net::steady_timer acceptRetry;  // after a failed accept, such as too many open files
  struct OpenConnection {
    std::weak_ptr<Connection> connection;
    Standing standing = Standing::stranger;
  };
  std::map<std::uint64_t, OpenConnection> connections;  // by id, so oldest first
  std::uint64_t lastConnection = 0;
  std::uint16_t port = 0;
  bool stopped = false;
};

namespace {

using State = LoopbackServer::State;

class WebSocketSession;

// The owner's handle on a WebSocket. It hands its work to the io_context, so
// that any thread may use it (on the io_context's own thread a message is
// queued at once), and holds the session weakly, so that a handle the owner
// keeps never keeps a connection open.
class Peer final : public WebSocketPeer {
 public:
  Peer(net::io_context& context, std::weak_ptr<WebSocketSession> session)
      : context_(context), session_(std::move(session)) {}
  void send(std::string text) override;
  [[nodiscard]] bool isOpen() const override { return open_.load(std::memory_order_acquire); }
  void close() override;
  void markClosed() { open_.store(false, std::memory_order_release); }

 private:
  net::io_context& context_;
  const std::weak_ptr<WebSocketSession> session_;
  std::atomic<bool> open_{true};
};

class WebSocketSession final : public Connection,
                               public std::enable_shared_from_this<WebSocketSession> {
 public:
  WebSocketSession(std::shared_ptr<State> state, beast::tcp_stream stream, Request request)
      : state_(std::move(state)), socket_(std::move(stream)), request_(std::move(request)) {}
  ~WebSocketSession() override { state_->remove(id_); }
  WebSocketSession(const WebSocketSession&) = delete;
  WebSocketSession& operator=(const WebSocketSession&) = delete;

  void start(std::uint64_t id) {
    id_ = id;
    const auto& limits = state_->options.limits;
    auto timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeouts.handshake_timeout = limits.requestTimeout;
    socket_.set_option(timeouts);
    socket_.set_option(websocket::stream_base::decorator(
        [policy = state_->contentSecurityPolicy()](websocket::response_type& response) {
          response.erase(http::field::server);
          addSecurityHeaders(response, policy);
        }));
    socket_.read_message_max(limits.webSocketMessageBytes);
    socket_.async_accept(request_, [self = shared_from_this()](beast::error_code error) {
      self->onAccepted(error);
    });
  }

  void stop() override { end(); }

  void enqueue(std::string text) {
    if (ended_ || closing_) return;
    outgoingBytes_ += text.size();
    if (outgoingBytes_ > state_->options.limits.queuedWebSocketBytes) {
      // Ended later, not inside the owner's send: its onClose may change
      // what the owner is going through as it sends.
      if (peer_) peer_->markClosed();
      net::post(state_->context, [self = shared_from_this()] { self->end(); });
      return;
    }
    outgoing_.push_back(std::move(text));
    if (!writing_) writeNext();
  }

  void requestClose() {
    if (ended_ || closing_) return;
    closing_ = true;
    if (peer_) peer_->markClosed();
    if (!writing_) closeHandshake();
  }

 private:
  void onAccepted(beast::error_code error) {
    if (error || state_->stopped) {
      end();
      return;
    }
    peer_ = std::make_shared<Peer>(state_->context, weak_from_this());
    if (state_->options.onWebSocket) handlers_ = state_->options.onWebSocket(peer_);
    if (!ended_) readNext();
  }

  void readNext() {
    socket_.async_read(
        incoming_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->onRead(error); });
  }

  void onRead(beast::error_code error) {
    // Beast has already answered a message over the limit with a close frame.
    if (error) {
      end();
      return;
    }
    std::string message = beast::buffers_to_string(incoming_.data());
    incoming_.consume(incoming_.size());
    if (ended_) return;
    if (handlers_.onMessage) handlers_.onMessage(std::move(message));
    if (!ended_) readNext();
  }

  void writeNext() {
    writing_ = true;
    socket_.text(true);
    socket_.async_write(net::buffer(outgoing_.front()),
                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                          self->onWritten(error);
                        });
  }

  void onWritten(beast::error_code error) {
    writing_ = false;
    if (error) {
      end();
      return;
    }
    outgoingBytes_ -= outgoing_.front().size();
    outgoing_.pop_front();
    if (ended_) return;
    if (!outgoing_.empty()) {
      writeNext();
    } else if (closing_) {
      closeHandshake();
    }
  }

  void closeHandshake() {
    socket_.async_close(websocket::close_code::normal,
                        [self = shared_from_this()](beast::error_code error) {
                          // Success ends the pending read, which ends the session.
                          if (error) self->end();
                        });
  }

  // The socket is done with, whoever ended it. The queue stays until the
  // session goes: a write may still hold its front.
  void end() {
    if (ended_) return;
    ended_ = true;
    if (peer_) peer_->markClosed();
    beast::get_lowest_layer(socket_).close();
    if (!state_->stopped && handlers_.onClose) handlers_.onClose();
  }

  std::shared_ptr<State> state_;
  std::uint64_t id_ = 0;
  websocket::stream<beast::tcp_stream> socket_;
  Request request_;  // the upgrade request, answered by the handshake
  beast::flat_buffer incoming_;
  std::deque<std::string> outgoing_;
  std::size_t outgoingBytes_ = 0;  // queued, including the message being written
  std::shared_ptr<Peer> peer_;     // from the handshake on
  WebSocketHandlers handlers_;
  bool writing_ = false;
  bool closing_ = false;  // the owner closed: send what is queued, then close
  bool ended_ = false;
};

void Peer::send(std::string text) {
  if (!isOpen()) return;
  net::dispatch(context_, [session = session_, text = std::move(text)]() mutable {
    if (auto live = session.lock()) live->enqueue(std::move(text));
  });
}

void Peer::close() {
  markClosed();
  net::post(context_, [session = session_] {
    if (auto live = session.lock()) live->requestClose();
  });
}

// A WebSocket at a path that is not the server's own, carried to the
// development server byte for byte once its upgrade request has been
// forwarded: the handshake, the subprotocol and every frame are the two
// ends' own. It ends when either end does.
class TunnelSession final : public Connection, public std::enable_shared_from_this<TunnelSession> {
 public:
  TunnelSession(std::shared_ptr<State> state, beast::tcp_stream client, std::string early,
                Request request)
      : state_(std::move(state)),
        client_(std::move(client)),
        upstream_(state_->context),
        resolver_(state_->context),
        early_(std::move(early)),
        request_(std::move(request)) {}
  ~TunnelSession() override { state_->remove(id_); }
  TunnelSession(const TunnelSession&) = delete;
  TunnelSession& operator=(const TunnelSession&) = delete;

  void start(std::uint64_t id) {
    id_ = id;
    client_.expires_never();
    const LoopbackOrigin& upstream = *state_->options.upstream;
    resolver_.async_resolve(upstream.host, std::to_string(upstream.port),
                            tcp::resolver::numeric_service,
                            [self = shared_from_this()](beast::error_code error,
                                                        const tcp::resolver::results_type& found) {
                              if (error || self->ended_) return self->refuse();
                              self->connect(found);
                            });
  }

  void stop() override { end(); }

 private:
  void connect(const tcp::resolver::results_type& found) {
    upstream_.expires_after(state_->options.limits.upstreamTimeout);
    upstream_.async_connect(
        found, [self = shared_from_this()](beast::error_code error, const tcp::endpoint&) {
          if (error || self->ended_) return self->refuse();
          keepFromChildProcesses(self->upstream_.socket().native_handle());
          http::async_write(self->upstream_, self->request_,
                            [self](beast::error_code written, std::size_t) {
                              if (written || self->ended_) return self->end();
                              self->upstream_.expires_never();
                              self->sendEarlyBytes();
                            });
        });
  }

  // Bytes the page sent after its request, before the server answered it.
  void sendEarlyBytes() {
    net::async_write(upstream_, net::buffer(early_),
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       if (error || self->ended_) return self->end();
                       self->pump(self->client_, self->upstream_, self->fromClient_);
                       self->pump(self->upstream_, self->client_, self->fromUpstream_);
                     });
  }

  void pump(beast::tcp_stream& from, beast::tcp_stream& to,
            std::array<char, tunnelChunkBytes>& chunk) {
    from.async_read_some(net::buffer(chunk), [self = shared_from_this(), &from, &to, &chunk](
                                                 beast::error_code error, std::size_t size) {
      if (error || self->ended_) return self->end();
      net::async_write(to, net::buffer(chunk.data(), size),
                       [self, &from, &to, &chunk](beast::error_code written, std::size_t) {
                         if (written || self->ended_) return self->end();
                         self->pump(from, to, chunk);
                       });
    });
  }

  // The development server is not there: the page gets an answer, not a
  // socket that never opens.
  void refuse() {
    if (ended_) return;
    refusal_ = plainResponse(upstreamSilent);
    addSecurityHeaders(refusal_, state_->contentSecurityPolicy());
    refusal_.keep_alive(false);
    refusal_.prepare_payload();
    http::async_write(client_, refusal_,
                      [self = shared_from_this()](beast::error_code, std::size_t) { self->end(); });
  }

  void end() {
    if (ended_) return;
    ended_ = true;
    resolver_.cancel();
    client_.close();
    upstream_.close();
  }

  std::shared_ptr<State> state_;
  std::uint64_t id_ = 0;
  beast::tcp_stream client_;
  beast::tcp_stream upstream_;
  tcp::resolver resolver_;
  std::string early_;
  Request request_;  // the upgrade, as forwarded
  Response refusal_;
  std::array<char, tunnelChunkBytes> fromClient_{};
  std::array<char, tunnelChunkBytes> fromUpstream_{};
  bool ended_ = false;
};

class HttpSession final : public Connection, public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(std::shared_ptr<State> state, tcp::socket socket)
      : state_(std::move(state)), stream_(std::move(socket)), resolver_(state_->context) {}
  ~HttpSession() override { state_->remove(id_); }
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  void start(std::uint64_t id) {
    id_ = id;
    // A stranger's one request is due soon after it connects, however slowly
    // its bytes come.
    stream_.expires_after(std::min(limits().firstRequestTimeout, limits().requestTimeout));
    waitForRequest();
  }

  void stop() override {
    stream_.close();
    resolver_.cancel();
    if (upstream_) upstream_->close();
  }

 private:
  [[nodiscard]] const LoopbackServerLimits& limits() const { return state_->options.limits; }

  void admit() {
    if (standing_ == Standing::admitted) return;
    standing_ = Standing::admitted;
    state_->admit(id_);
  }

  // A keep-alive connection may idle between requests for longer than a
  // client may take over one request, so the first byte is awaited apart.
  void waitForRequest() {
    if (buffer_.size() > 0) {
      readRequest();
      return;
    }
    if (standing_ == Standing::admitted) stream_.expires_after(limits().idleTimeout);
    stream_.async_read_some(buffer_.prepare(readChunkBytes),
                            [self = shared_from_this()](beast::error_code error, std::size_t size) {
                              if (error || self->state_->stopped) return;
                              self->buffer_.commit(size);
                              self->readRequest();
                            });
  }

  void readRequest() {
    parser_.emplace();
    limitParser(*parser_, limits());
    if (standing_ == Standing::admitted) stream_.expires_after(limits().requestTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       self->onRequestRead(error);
                     });
  }

  void onRequestRead(beast::error_code error) {
    if (state_->stopped) return;
    if (error) {
      if (auto refusal = refusalForReadError(error)) {
        version_ = 11;
        keepAlive_ = false;
        headOnly_ = false;
        respond(plainResponse(*refusal), Closing::yes);
      }
      return;
    }
    handle(parser_->release());
  }

  void handle(Request request) {
    version_ = request.version();
    keepAlive_ = request.keep_alive();
    headOnly_ = request.method() == http::verb::head;
    auto verdict = judge(headOf(request), state_->policy);
    // A refused caller gets no second try on the same connection, so that
    // one without the token cannot keep a connection by asking now and then.
    if (const auto* refusal = std::get_if<Refusal>(&verdict)) {
      respond(plainResponse(*refusal), Closing::yes);
      return;
    }
    admit();
    if (const auto* redirect = std::get_if<web::TokenRedirect>(&verdict)) {
      Response response = redirectResponse(303, redirect->location);
      const auto& policy = state_->policy;
      response.set(http::field::set_cookie,
                   policy.cookieName + "=" + policy.token + "; Path=/; HttpOnly; SameSite=Strict");
      respond(std::move(response), Closing::no);
      return;
    }
    auto& admission = std::get<web::Admission>(verdict);
    if (admission.webSocket) {
      const auto& options = state_->options;
      if (!options.webSocketPath.empty() && admission.request.path == options.webSocketPath &&
          options.onWebSocket) {
        upgrade(std::move(request));
      } else if (options.upstream) {
        tunnel(std::move(request), admission);
      } else {
        respond(plainResponse(notFound), Closing::no);
      }
      return;
    }
    if (auto response = route(admission)) {
      respond(std::move(*response), Closing::no);
    } else {
      forward(std::move(request), admission);
    }
  }

  // The answer of this server's own; nothing: the development server's to give.
  std::optional<Response> route(const web::Admission& admission) {
    const auto& options = state_->options;
    const HttpRequest& request = admission.request;
    bool readOnly = request.method == "GET" || request.method == "HEAD";
    if (auto found = options.resources.find(request.path); found != options.resources.end()) {
      return readOnly ? responseFromOwner(found->second) : plainResponse(readOnlyMethods);
    }
    if (!options.webSocketPath.empty() && request.path == options.webSocketPath) {
      Response response = plainResponse(webSocketOnly);
      response.set(http::field::upgrade, "websocket");
      return response;
    }
    if (options.onRequest) {
      if (auto answer = options.onRequest(request)) return responseFromOwner(*answer);
    }
    if (options.upstream) return std::nullopt;
    if (state_->canonicalRoot.empty()) return plainResponse(notFound);
    if (!readOnly) return plainResponse(readOnlyMethods);
    return serveFile(admission);
  }

  Response serveFile(const web::Admission& admission) {
    auto target = web::resolveStaticPath(state_->canonicalRoot, admission.request.path);
    if (const auto* refusal = std::get_if<Refusal>(&target);
        refusal && refusal->status == notFound.status &&
        state_->options.clientRoutes == ClientRoutes::servedIndex &&
        web::namesClientRoute(admission.request.path)) {
      target = web::resolveStaticPath(state_->canonicalRoot, "/index.html");
    }
    if (const auto* refusal = std::get_if<Refusal>(&target)) return plainResponse(*refusal);
    if (std::holds_alternative<web::FolderRedirect>(target)) {
      std::string location = sameSitePath(admission.rawPath) + "/";
      if (!admission.rawQuery.empty()) location += "?" + admission.rawQuery;
      return redirectResponse(301, location);
    }
    const fs::path& file = std::get<web::StaticFile>(target).path;
    auto content = readWholeFile(file);
    if (!content) return plainResponse(notFound);
    std::string_view type = web::contentTypeFor(file);
    Response response;
    response.set(http::field::content_type, beastView(type));
    response.body().text = withHeadInsert(type, std::move(*content));
    return response;
  }

  [[nodiscard]] std::string withHeadInsert(std::string_view type, std::string body) const {
    const std::string& insert = state_->options.headInsert;
    if (!startsWithIgnoringCase(type, "text/html") || insert.empty()) return body;
    return web::insertIntoHead(body, insert);
  }

  // One request to the development server on a connection of its own; its
  // answer's status, type and body (and a redirect's path) are the page's.
  void forward(Request request, const web::Admission& admission) {
    const LoopbackOrigin& upstream = *state_->options.upstream;
    upstreamRequest_ = forwardedRequest(std::move(request), admission, state_->policy, upstream,
                                        Forwarding::request);
    resolver_.async_resolve(upstream.host, std::to_string(upstream.port),
                            tcp::resolver::numeric_service,
                            [self = shared_from_this()](beast::error_code error,
                                                        const tcp::resolver::results_type& found) {
                              if (self->state_->stopped) return;
                              if (error)
                                return self->respond(plainResponse(upstreamSilent), Closing::no);
                              self->connectUpstream(found);
                            });
  }

  void connectUpstream(const tcp::resolver::results_type& found) {
    upstream_.emplace(state_->context);
    upstream_->expires_after(limits().upstreamTimeout);
    upstream_->async_connect(
        found, [self = shared_from_this()](beast::error_code error, const tcp::endpoint&) {
          if (self->state_->stopped) return;
          if (error) return self->upstreamFailed();
          keepFromChildProcesses(self->upstream_->socket().native_handle());
          http::async_write(*self->upstream_, self->upstreamRequest_,
                            [self](beast::error_code written, std::size_t) {
                              if (self->state_->stopped) return;
                              if (written) return self->upstreamFailed();
                              self->readUpstreamAnswer();
                            });
        });
  }

  void readUpstreamAnswer() {
    upstreamParser_.emplace();
    upstreamParser_->body_limit(std::uint64_t{limits().upstreamResponseBytes});
    upstreamParser_->skip(upstreamRequest_.method() == http::verb::head);
    upstreamBuffer_.clear();
    http::async_read(*upstream_, upstreamBuffer_, *upstreamParser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       if (self->state_->stopped) return;
                       if (error) return self->upstreamFailed();
                       self->upstream_.reset();
                       self->respond(self->answerFromUpstream(self->upstreamParser_->release()),
                                     Closing::no);
                     });
  }

  Response answerFromUpstream(UpstreamResponse answer) const {
    if (answer.result_int() < 200 || answer.result_int() > 599) {
      return plainResponse(upstreamSilent);
    }
    Response response;
    response.result(answer.result_int());
    std::string_view type = view(answer[http::field::content_type]);
    if (!type.empty() && isSafeHeaderValue(type)) {
      response.set(http::field::content_type, beastView(type));
    }
    // Only a path: an address naming the development server itself would
    // take the page away from this origin.
    std::string_view location = view(answer[http::field::location]);
    if (location.starts_with('/') && !location.starts_with("//") && isSafeHeaderValue(location)) {
      response.set(http::field::location, beastView(location));
    }
    response.body().text = withHeadInsert(type, std::move(answer.body()));
    return response;
  }

  void upstreamFailed() {
    upstream_.reset();
    respond(plainResponse(upstreamSilent), Closing::no);
  }

  void tunnel(Request request, const web::Admission& admission) {
    stream_.expires_never();
    auto forwarded = forwardedRequest(std::move(request), admission, state_->policy,
                                      *state_->options.upstream, Forwarding::upgrade);
    std::string early = beast::buffers_to_string(buffer_.data());
    auto session = std::make_shared<TunnelSession>(state_, std::move(stream_), std::move(early),
                                                   std::move(forwarded));
    session->start(state_->add(session, Standing::admitted));
  }

  void upgrade(Request request) {
    stream_.expires_never();
    auto session =
        std::make_shared<WebSocketSession>(state_, std::move(stream_), std::move(request));
    session->start(state_->add(session, Standing::admitted));
  }

  enum class Closing { no, yes };

  void respond(Response response, Closing closing) {
    response_ = std::move(response);
    response_.version(version_);
    addSecurityHeaders(response_, state_->contentSecurityPolicy());
    auto status = response_.result_int();
    if (status == 204 || status == 304) {
      response_.body().clear();
    } else {
      response_.content_length(AnswerBody::size(response_.body()));
    }
    if (headOnly_) response_.body().clear();
    response_.keep_alive(keepAlive_ && closing == Closing::no);
    stream_.expires_after(limits().requestTimeout);
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        self->onWritten(error);
                      });
  }

  void onWritten(beast::error_code error) {
    if (error || state_->stopped) return;
    if (response_.need_eof()) {
      lingerThenClose();
    } else {
      waitForRequest();
    }
  }

  void lingerThenClose() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(std::min(limits().requestTimeout, lingerTime));
    discardUntilClosed();
  }

  void discardUntilClosed() {
    buffer_.consume(buffer_.size());
    stream_.async_read_some(buffer_.prepare(readChunkBytes),
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                              if (error || self->state_->stopped) return;
                              self->discardUntilClosed();
                            });
  }

  std::shared_ptr<State> state_;
  std::uint64_t id_ = 0;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;  // bytes read but not yet parsed, perhaps the next request
  std::optional<http::request_parser<http::string_body>> parser_;
  Response response_;  // being written
  tcp::resolver resolver_;
  std::optional<beast::tcp_stream> upstream_;  // while a request is forwarded
  Request upstreamRequest_;
  std::optional<http::response_parser<http::string_body>> upstreamParser_;
  beast::flat_buffer upstreamBuffer_;
  unsigned version_ = 11;
  bool keepAlive_ = false;
  bool headOnly_ = false;
  Standing standing_ = Standing::stranger;
};

void acceptNext(const std::shared_ptr<State>& state) {
  state->acceptor.async_accept([state](beast::error_code error, tcp::socket socket) {
    if (state->stopped) return;
    if (error) {
      state->acceptRetry.expires_after(acceptRetryDelay);
      state->acceptRetry.async_wait([state](beast::error_code waited) {
        if (!waited && !state->stopped) acceptNext(state);
      });
      return;
    }
    keepFromChildProcesses(socket.native_handle());
    // When no stranger makes way, the socket closes as it goes out of scope.
    if (state->makeRoom()) {
      auto session = std::make_shared<HttpSession>(state, std::move(socket));
      session->start(state->add(session, Standing::stranger));
    }
    acceptNext(state);
  });
}

}  // namespace

namespace web {

RequestPolicy makeRequestPolicy(std::uint16_t port, std::string token, std::string_view hostName) {
  std::string host = std::string(hostName) + ":" + std::to_string(port);
  return {.host = host,
          .origin = "http://" + host,
          .cookieName = "brisklane-token-" + std::to_string(port),
          .token = std::move(token)};
}

Verdict checkRequestBytes(std::string_view bytes, const RequestPolicy& policy,
                          const LoopbackServerLimits& limits) {
  http::request_parser<http::string_body> parser;
  limitParser(parser, limits);
  parser.eager(true);
  beast::error_code error;
  std::size_t used = 0;
  while (!error && !parser.is_done() && used < bytes.size()) {
    std::size_t step = parser.put(net::buffer(bytes.data() + used, bytes.size() - used), error);
    if (step == 0 && !error) break;
    used += step;
  }
  if (error == http::error::need_more) error = {};
  if (!error && !parser.is_done()) parser.put_eof(error);
  if (error) return refusalForReadError(error).value_or(malformed);
  return judge(headOf(parser.get()), policy);
}

}  // namespace web

Result<std::unique_ptr<LoopbackServer>> LoopbackServer::start(net::io_context& context,
                                                              LoopbackServerOptions options) {
  if (options.token.empty()) return Failure{"the server needs a token"};
  const bool nameable =
      !options.hostName.empty() &&
      std::all_of(options.hostName.begin(), options.hostName.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
      });
  if (!nameable)
    return Failure{"the server's host name must be lowercase letters, digits, - and ."};
  fs::path root;
  if (!options.documentRoot.empty()) {
    std::error_code error;
    root = fs::canonical(options.documentRoot, error);
    if (error || !fs::is_directory(root, error)) {
      return Failure{"the document root is not a folder"};
    }
  }
  auto state = std::make_shared<State>(context, std::move(options), std::move(root));
  tcp::endpoint endpoint(net::ip::address_v4::loopback(), state->options.port);
  beast::error_code error;
  state->acceptor.open(endpoint.protocol(), error);
  if (!error) keepFromChildProcesses(state->acceptor.native_handle());
  // Lets a restarted program take its fixed port back while the connections
  // of the last run linger; it never lets two servers listen on one port.
  if (!error) state->acceptor.set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) state->acceptor.bind(endpoint, error);
  if (error == net::error::address_in_use) return Failure{"the port is in use"};
  if (!error) state->acceptor.listen(net::socket_base::max_listen_connections, error);
  std::uint16_t port = 0;
  if (!error) port = state->acceptor.local_endpoint(error).port();
  if (error) return Failure{"cannot listen on the loopback address"};

  state->port = port;
  state->policy = web::makeRequestPolicy(port, state->options.token, state->options.hostName);
  state->policy.tunnelsUpgrades = state->options.upstream.has_value();
  acceptNext(state);
  return std::unique_ptr<LoopbackServer>(new LoopbackServer(std::move(state)));
}

LoopbackServer::~LoopbackServer() {
  state_->stop();
}

std::uint16_t LoopbackServer::port() const {
  return state_->port;
}

std::string LoopbackServer::origin() const {
  return state_->policy.origin;
}

std::string LoopbackServer::url(std::string_view path) const {
  std::string address = state_->policy.origin + std::string(path);
  address += path.find('?') == std::string_view::npos ? "?token=" : "&token=";
  return address + state_->policy.token;
}

std::string strictContentSecurityPolicy(std::string_view host, std::string_view frameSources) {
  std::string policy = "default-src 'self'; connect-src 'self' ws://" + std::string(host) +
                       "; base-uri 'none'; form-action 'self'; ";
  if (!frameSources.empty()) policy += "frame-src 'self' " + std::string(frameSources) + "; ";
  return policy + "frame-ancestors 'none'";
}

std::string makeToken() {
  auto token = randomHex(16);
  return token ? std::move(token).value() : std::string();
}

}  // namespace brisklane
