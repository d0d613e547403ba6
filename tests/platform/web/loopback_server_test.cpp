#include "platform/web/loopback_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/web/network_names.h"
#include "platform/web/request_check.h"
#include "platform/web/static_files.h"
#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

using Reply = http::response<http::string_body>;

// A connection to the server: HTTP, and a WebSocket once `upgrade` answers
// 101. An answer that does not come fails the test instead of hanging it.
class Client {
 public:
  explicit Client(std::uint16_t port) { socket().connect({net::ip::address_v4::loopback(), port}); }
  void send(std::string_view raw) { net::write(socket(), net::buffer(raw)); }
  std::optional<Reply> receive() {
    http::response_parser<http::string_body> parser;
    beast::error_code result;
    http::async_read(socket(), buffer_, parser, [&](auto error, auto) { result = error; });
    run();
    return result ? std::nullopt : std::optional(parser.release());
  }
  bool closedByServer() {
    char byte = 0;
    beast::error_code result;
    socket().async_read_some(net::buffer(&byte, 1), [&](auto error, auto) { result = error; });
    run();
    return result == net::error::eof || result == net::error::connection_reset;
  }

  // The handshake's status, from the page's own origin with its cookie.
  unsigned upgrade(const std::string& host, const std::string& cookie,
                   const std::string& target = "/_brisklane/socket",
                   const std::string& subprotocol = "") {
    webSocket_.set_option(websocket::stream_base::decorator([=](websocket::request_type& request) {
      request.set(http::field::origin, "http://" + host);
      if (!cookie.empty()) request.set(http::field::cookie, cookie);
      if (!subprotocol.empty()) request.set(http::field::sec_websocket_protocol, subprotocol);
    }));
    handshake_ = {};
    webSocket_.async_handshake(handshake_, host, target, [](auto) {});
    run();
    return handshake_.result_int();
  }
  [[nodiscard]] const websocket::response_type& handshake() const { return handshake_; }
  void sendMessage(const std::string& text) {
    webSocket_.async_write(net::buffer(text), [](auto, auto) {});
    run();
  }
  std::optional<std::string> receiveMessage() {
    beast::flat_buffer buffer;
    beast::error_code result;
    webSocket_.async_read(buffer, [&](auto error, auto) { result = error; });
    run();
    return result ? std::nullopt : std::optional(beast::buffers_to_string(buffer.data()));
  }
  [[nodiscard]] unsigned closeCode() const { return webSocket_.reason().code; }

 private:
  tcp::socket& socket() { return webSocket_.next_layer(); }
  void run() {
    context_.restart();
    context_.run_for(std::chrono::seconds(5));
    if (context_.stopped()) return;
    ADD_FAILURE() << "no answer in time";
    socket().close();
    context_.run();
  }

  net::io_context context_;
  websocket::stream<tcp::socket> webSocket_{context_};
  websocket::response_type handshake_;
  beast::flat_buffer buffer_;
};

void writeFile(const fs::path& path, std::string_view content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// A server on its own thread over a folder of files, links in and out of it,
// a route that records taps, and WebSockets that echo; `limited_` lowers
// its limits so that tests can reach them.
class LoopbackServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path site = device_.root() / "site";
    writeFile(site / "index.html", "<!doctype html><head lang=\"en\"><title>t</title></head>home");
    writeFile(site / "docs" / "index.html", "docs");
    for (auto name : {"app.js", "module.mjs", "LOUD.JPG", "code.wasm", "blob.bin", ".hidden"}) {
      writeFile(site / name, name);
    }
    writeFile(device_.root() / "secret.txt", "SECRET");
    fs::create_symlink(site / "app.js", site / "alias.js");
    fs::create_symlink(device_.root(), site / "escape");
    fs::create_symlink(device_.root() / "secret.txt", site / "leak.txt");
    options_ = {.token = makeToken(),
                .documentRoot = site,
                .headInsert = "<script src=\"/_brisklane/start.js\"></script>",
                .resources = {{"/_brisklane/start.js", {.contentType = "text/javascript"}}},
                .onRequest = [this](const HttpRequest& request) { return route(request); },
                .webSocketPath = "/_brisklane/socket",
                .onWebSocket = [this](const auto& peer) { return connect(peer); }};
    if (limited_) {
      options_.limits.requestTimeout = std::chrono::milliseconds(300);
      options_.limits.connections = 2;
      options_.limits.queuedWebSocketBytes = std::size_t{64} * 1024;
    }
    if (configure_) configure_(options_);
    auto started = LoopbackServer::start(context_, options_);
    ASSERT_TRUE(started);
    server_ = *std::move(started);
    port_ = server_->port();
    host_ = "127.0.0.1:" + std::to_string(port_);
    cookie_ = "brisklane-token-" + std::to_string(port_) + "=" + options_.token;
    thread_ = std::thread([this] { context_.run(); });
  }

  void TearDown() override {
    if (!thread_.joinable()) return;
    onServerThread([this] { server_.reset(); });
    work_.reset();
    thread_.join();
  }

  template <typename Task>
  void onServerThread(Task task) {
    std::promise<void> done;
    net::post(context_, [&] {
      task();
      done.set_value();
    });
    done.get_future().wait();
  }

  std::optional<HttpResponse> route(const HttpRequest& request) {
    if (request.path == "/cors") {
      return HttpResponse{.headers = {{"Access-Control-Allow-Origin", "*"}}};
    }
    if (request.path == "/picture") return HttpResponse{.sharedBody = picture_};
    if (request.path != "/tap") return std::nullopt;
    std::lock_guard lock(mutex_);
    auto x = request.query.find("x");
    taps_.push_back(request.method + " " + request.body + " " +
                    (x == request.query.end() ? "-" : x->second) + " " +
                    std::to_string(request.query.count("token")));
    return HttpResponse{.body = "tapped"};
  }

  WebSocketHandlers connect(const std::shared_ptr<WebSocketPeer>& peer) {
    std::lock_guard lock(mutex_);
    peers_.push_back(peer);
    return {.onMessage =
                [this, weak = std::weak_ptr(peer)](const std::string& text) {
                  ++messages_;
                  if (auto live = weak.lock()) live->send("echo " + text);
                },
            .onClose = [this] { ++closes_; }};
  }

  std::shared_ptr<WebSocketPeer> firstPeer() {
    for (int attempt = 0; attempt < 500; ++attempt) {
      {
        std::lock_guard lock(mutex_);
        if (!peers_.empty()) return peers_.front();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
  }

  [[nodiscard]] std::string request(std::string_view method, std::string_view target,
                                    std::string_view headers = "") const {
    return std::string(method) + " " + std::string(target) + " HTTP/1.1\r\nHost: " + host_ +
           "\r\n" + std::string(headers) + "\r\n";
  }
  [[nodiscard]] std::string withCookie(std::string_view target, std::string_view method = "GET",
                                       std::string_view headers = "") const {
    return request(method, target, "Cookie: " + cookie_ + "\r\n" + std::string(headers));
  }
  std::optional<Reply> exchange(const std::string& raw) {
    Client client(port_);
    client.send(raw);
    return client.receive();
  }
  std::string origin() const { return "http://" + host_; }

  bool limited_ = false;
  std::function<void(LoopbackServerOptions&)> configure_;  // set before SetUp
  testing::TemporaryDevice device_;
  LoopbackServerOptions options_;
  net::io_context context_;
  net::executor_work_guard<net::io_context::executor_type> work_ = net::make_work_guard(context_);
  std::unique_ptr<LoopbackServer> server_;
  std::thread thread_;
  std::uint16_t port_ = 0;
  std::string host_, cookie_;
  std::mutex mutex_;
  std::vector<std::string> taps_;
  // Bytes the "/picture" route shares, as the home screen shares a picture.
  const std::shared_ptr<const std::string> picture_ =
      std::make_shared<const std::string>("\x89PNG\r\n\x1a\n\0shared", 15);
  std::vector<std::shared_ptr<WebSocketPeer>> peers_;
  std::atomic<int> messages_ = 0;
  std::atomic<int> closes_ = 0;
};

TEST_F(LoopbackServerTest, TradesTheTokenInTheAddressForACookieOfItsPortAndTakesNoChangeWithout) {
  auto reply = exchange(request("GET", "/index.html?a=1&token=" + options_.token + "&b=%20"));
  EXPECT_EQ(reply->result_int(), 303u);
  EXPECT_EQ((*reply)[http::field::location], "/index.html?a=1&b=%20");
  EXPECT_EQ((*reply)[http::field::set_cookie], cookie_ + "; Path=/; HttpOnly; SameSite=Strict");
  reply = exchange(request("GET", "//evil.example/?token=" + options_.token));
  EXPECT_EQ((*reply)[http::field::location], "/evil.example/") << "stays on this site";

  // What else the checks refuse is judged on the shared corpus below.
  std::string tap = "Origin: " + origin() + "\r\nContent-Length: 3\r\n";
  EXPECT_EQ(exchange(request("POST", "/tap", tap) + "hit")->result_int(), 403u);
  auto withToken = request("POST", "/tap?x=1&token=" + options_.token, tap) + "hit";
  EXPECT_EQ(exchange(withToken)->result_int(), 200u);
  std::lock_guard lock(mutex_);
  EXPECT_EQ(taps_, std::vector<std::string>{"POST hit 1 0"}) << "a change may bring the token";
}

TEST_F(LoopbackServerTest, SendsTheSameProtectiveHeadersOnEveryAnswer) {
  EXPECT_EQ(exchange(withCookie("/picture"))->body(), *picture_) << "shared bytes, sent whole";
  for (const auto& raw : {withCookie("/"), request("GET", "/"), withCookie("/cors")}) {
    auto reply = exchange(raw);
    EXPECT_EQ((*reply)[http::field::cache_control], "no-store");
    EXPECT_EQ((*reply)["X-Content-Type-Options"], "nosniff");
    EXPECT_EQ((*reply)["Referrer-Policy"], "same-origin");
    EXPECT_EQ((*reply)["Content-Security-Policy"],
              "default-src 'self'; connect-src 'self' ws://" + host_ +
                  "; base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
    for (const auto& field : *reply)
      EXPECT_NE(field.name_string().substr(0, 15), "Access-Control-");
  }
}

TEST_F(LoopbackServerTest, ServesFilesWithTheirTypesAndFoldersWithTheirIndexNeverFromOutside) {
  struct Case {
    std::string target;
    unsigned status;
    std::string type;
  } cases[] = {
      {"/app.js", 200, "text/javascript; charset=utf-8"},
      {"/module.mjs", 200, "text/javascript; charset=utf-8"},
      {"/LOUD.JPG", 200, "image/jpeg"},
      {"/code.wasm", 200, "application/wasm"},
      {"/blob.bin", 200, "application/octet-stream"},
      {"/alias.js", 200, "text/javascript; charset=utf-8"},
      {"/docs", 301, ""},
      {"/missing.js", 404, "text/plain; charset=utf-8"},
      {"/.hidden", 404, "text/plain; charset=utf-8"},
  };
  for (const auto& [target, status, type] : cases) {
    auto reply = exchange(withCookie(target));
    EXPECT_EQ(reply->result_int(), status) << target;
    EXPECT_EQ((*reply)[http::field::content_type], type) << target;
  }
  EXPECT_EQ((*exchange(withCookie("/docs")))[http::field::location], "/docs/");
  EXPECT_EQ(exchange(withCookie("/docs/"))->body(),
            "<script src=\"/_brisklane/start.js\"></script>docs");
  auto post = withCookie("/app.js", "POST", "Origin: " + origin() + "\r\nContent-Length: 0\r\n");
  EXPECT_EQ(exchange(post)->result_int(), 405u);
  for (std::string target :
       {"/../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt",
        "/docs/..%2f..%2fsecret.txt", "/docs%2f..%2f..%2fsecret.txt", "/..%5csecret.txt",
        "/escape/secret.txt", "/leak.txt", "/%252e%252e/secret.txt"}) {
    auto reply = exchange(withCookie(target));
    EXPECT_GE(reply->result_int(), 400u) << target;
    EXPECT_EQ(reply->body().find("SECRET"), std::string::npos) << target;
  }
}

TEST(InsertIntoHead, PlacesTheInsertRightAfterTheOpeningHeadTag) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"<html><head><title>", "<html><head>[x]<title>"},
      {"<HTML><HEAD LANG=\"en\">a", "<HTML><HEAD LANG=\"en\">[x]a"},
      {"<head data-x='a>b'>", "<head data-x='a>b'>[x]"},
      {"<!-- <head> --><head>", "<!-- <head> --><head>[x]"},
      {"<!DOCTYPE html><header>h</header>", "<!DOCTYPE html>[x]<header>h</header>"},
      {"\xEF\xBB\xBF<p>", "\xEF\xBB\xBF[x]<p>"},
      {"<body><head>", "[x]<body><head>"},
  };
  for (const auto& [html, expected] : cases) EXPECT_EQ(web::insertIntoHead(html, "[x]"), expected);
}

// Which limit answers what, the request checks' corpus says; here, that a
// request the server could not read or judge ends its connection.
TEST_F(LoopbackServerTest, AnswersMalformedAndOversizedRequestsAndCloses) {
  std::string tap = "Origin: " + origin() + "\r\nContent-Length: 1048577\r\n";
  std::pair<std::string, unsigned> cases[] = {
      {withCookie("http://" + host_ + "/"), 400},
      {withCookie("/tap", "POST", tap) + std::string(std::size_t{1048577}, 'b'), 413},
  };
  for (const auto& [raw, status] : cases) {
    Client client(port_);
    client.send(raw);
    auto reply = client.receive();
    ASSERT_TRUE(reply) << status;
    EXPECT_EQ(reply->result_int(), status);
    EXPECT_TRUE(client.closedByServer()) << status;
  }
}

class LimitedLoopbackServerTest : public LoopbackServerTest {
  void SetUp() override {
    limited_ = true;
    LoopbackServerTest::SetUp();
  }
};

// Then a WebSocket as the second connection, the stalled one being closed.
TEST_F(LimitedLoopbackServerTest, ClosesStalledConnectionsAndPeersThatDoNotRead) {
  Client stalled(port_);
  stalled.send("GET / HTTP/1.1\r\nHo");
  auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(stalled.closedByServer());
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3));

  Client socket(port_);
  ASSERT_EQ(socket.upgrade(host_, cookie_), 101u);
  auto peer = firstPeer();
  for (int i = 0; i < 2000 && peer->isOpen(); ++i)
    peer->send(std::string(std::size_t{16} * 1024, 'q'));
  onServerThread([] {});
  EXPECT_FALSE(peer->isOpen());
  EXPECT_EQ(closes_, 1);
}

// Strangers are connections none of whose requests has passed the checks.
class StrangerLoopbackServerTest : public LoopbackServerTest {
  void SetUp() override {
    configure_ = [](LoopbackServerOptions& options) {
      options.limits.firstRequestTimeout = std::chrono::milliseconds(100);
    };
    LoopbackServerTest::SetUp();
  }
};

// Each wait below would outlast the client's patience under the request and
// idle timeouts; only the first request's deadline ends it in time.
TEST_F(StrangerLoopbackServerTest, GivesAStrangerOneRequestSoonAndAnAdmittedConnectionItsIdleTime) {
  Client silent(port_);
  EXPECT_TRUE(silent.closedByServer()) << "nothing sent";
  Client trickling(port_);
  trickling.send("GET / HTTP/1.1\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  trickling.send("Host: " + host_ + "\r\n");
  EXPECT_TRUE(trickling.closedByServer()) << "a request sent slowly";

  Client page(port_);
  page.send(withCookie("/app.js"));
  EXPECT_EQ(page.receive()->body(), "app.js");
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  page.send(withCookie("/app.js"));
  EXPECT_EQ(page.receive()->body(), "app.js") << "after longer than a stranger may wait";
}

TEST_F(StrangerLoopbackServerTest, ClosesTheConnectionOfEveryRefusedRequest) {
  Client stranger(port_);
  stranger.send(request("GET", "/app.js", "Connection: keep-alive\r\n"));
  auto refused = stranger.receive();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result_int(), 403u);
  EXPECT_EQ((*refused)[http::field::connection], "close");
  EXPECT_TRUE(stranger.closedByServer());

  // An admitted connection too, though not for a missing file: that is the
  // page's own request answered.
  Client page(port_);
  page.send(withCookie("/missing.js"));
  EXPECT_EQ(page.receive()->result_int(), 404u);
  page.send(withCookie("/app.js", "GET", "Origin: http://evil.example\r\n"));
  EXPECT_EQ(page.receive()->result_int(), 403u);
  EXPECT_TRUE(page.closedByServer());
}

class CrowdedLoopbackServerTest : public LoopbackServerTest {
  void SetUp() override {
    configure_ = [](LoopbackServerOptions& options) { options.limits.connections = 2; };
    LoopbackServerTest::SetUp();
  }

 protected:
  // Whether `client` is still served: it is admitted by the answer.
  bool answers(Client& client) {
    client.send(withCookie("/app.js"));
    auto reply = client.receive();
    return reply && reply->body() == "app.js";
  }
};

// The server accepts in the order clients connect, so the oldest is known.
// Strangers here would wait seconds for their own deadline.
TEST_F(CrowdedLoopbackServerTest, MakesRoomByClosingTheOldestStrangerAndNeverAnAdmittedConnection) {
  Client oldest(port_), older(port_);
  Client newcomer(port_);
  EXPECT_TRUE(oldest.closedByServer());
  EXPECT_TRUE(answers(older));

  Client later(port_);
  EXPECT_TRUE(newcomer.closedByServer()) << "the stranger goes, not the admitted one";
  EXPECT_TRUE(answers(later));
  EXPECT_TRUE(answers(older));

  Client refused(port_);
  EXPECT_TRUE(refused.closedByServer()) << "every place is admitted";
  EXPECT_TRUE(answers(older));
  EXPECT_TRUE(answers(later));
}

// A peer's messages sent from another thread arrive in order until it closes.
TEST_F(LoopbackServerTest, ClosesOnlyTheSocketThatSendsATooLargeMessageAndDeliversInOrder) {
  Client small(port_), large(port_);
  ASSERT_EQ(small.upgrade(host_, cookie_), 101u);
  auto peer = firstPeer();
  ASSERT_EQ(large.upgrade(host_, cookie_), 101u);
  large.sendMessage(std::string(std::size_t{1024} * 1024 + 1, 'm'));
  EXPECT_FALSE(large.receiveMessage());
  EXPECT_EQ(large.closeCode(), unsigned(websocket::close_code::too_big));
  small.sendMessage("hello");
  EXPECT_EQ(small.receiveMessage(), "echo hello");
  EXPECT_EQ(messages_, 1);

  std::thread([&] {
    for (int i = 0; i < 200; ++i) peer->send(std::to_string(i));
    peer->close();
    peer->send("after close");
  }).join();
  for (int i = 0; i < 200; ++i) ASSERT_EQ(small.receiveMessage(), std::to_string(i));
  EXPECT_FALSE(small.receiveMessage());
  EXPECT_EQ(small.closeCode(), unsigned(websocket::close_code::normal));
}

TEST_F(LoopbackServerTest, DestructionClosesEverythingWithoutCallingBack) {
  Client socket(port_);
  ASSERT_EQ(socket.upgrade(host_, cookie_), 101u);
  Client idle(port_);
  auto peer = firstPeer();
  onServerThread([this] { server_.reset(); });
  EXPECT_FALSE(peer->isOpen());
  peer->send("dropped");
  EXPECT_FALSE(socket.receiveMessage());
  EXPECT_TRUE(idle.closedByServer());
  onServerThread([] {});
  EXPECT_EQ(closes_ + messages_, 0);
}

TEST(LoopbackServer, RefusesToStartWithoutWhatItNeeds) {
  net::io_context context;
  auto reason = [&](LoopbackServerOptions options) {
    auto started = LoopbackServer::start(context, std::move(options));
    return started ? std::string("started") : started.reason();
  };
  EXPECT_EQ(reason({.token = ""}), "the server needs a token");
  EXPECT_EQ(reason({.token = "t", .documentRoot = "/nonexistent"}),
            "the document root is not a folder");
  auto first = LoopbackServer::start(context, {.token = "t"});
  EXPECT_EQ(reason({.port = (*first)->port(), .token = "t"}), "the port is in use");
}

// The fuzzer's seeds, named for what the checks must make of them:
// admit-*, redirect-* or refuse-STATUS-*.
TEST(CheckRequestBytes, JudgesTheSharedCorpusAsItsNamesSay) {
  auto policy = web::makeRequestPolicy(8080, "00112233445566778899aabbccddeeff");
  const auto files = testing::corpusFiles("loopback_request");
  for (const auto& [name, bytes] : files) {
    auto verdict = web::checkRequestBytes(bytes, policy, {});
    if (name.starts_with("admit-")) {
      EXPECT_TRUE(std::holds_alternative<web::Admission>(verdict)) << name;
    } else if (name.starts_with("redirect-")) {
      EXPECT_TRUE(std::holds_alternative<web::TokenRedirect>(verdict)) << name;
    } else {
      const auto* refusal = std::get_if<web::Refusal>(&verdict);
      ASSERT_TRUE(refusal) << name;
      EXPECT_EQ(std::to_string(refusal->status), name.substr(7, 3)) << name;
    }
  }
  EXPECT_GE(files.size(), 30u);
}

// The owner chooses each answer's policy; left to itself a server is strict.
TEST(StrictContentSecurityPolicy, AddsFrameSourcesBesideItsOwnAndStillForbidsFraming) {
  EXPECT_EQ(strictContentSecurityPolicy("127.0.0.1:9"),
            "default-src 'self'; connect-src 'self' ws://127.0.0.1:9; base-uri 'none'; "
            "form-action 'self'; frame-ancestors 'none'");
  EXPECT_EQ(strictContentSecurityPolicy("127.0.0.1:9", "http://127.0.0.1:8100"),
            "default-src 'self'; connect-src 'self' ws://127.0.0.1:9; base-uri 'none'; "
            "form-action 'self'; frame-src 'self' http://127.0.0.1:8100; frame-ancestors 'none'");
}

class OwnPolicyLoopbackServerTest : public LoopbackServerTest {
 protected:
  void SetUp() override {
    configure_ = [this](LoopbackServerOptions& options) {
      options.clientRoutes = ClientRoutes::servedIndex;
      options.contentSecurityPolicy = [this](std::string_view host) {
        std::lock_guard lock(mutex_);
        asked_.emplace_back(host);
        return policy_;
      };
    };
    LoopbackServerTest::SetUp();
  }
  std::string policy_ = "frame-ancestors 'self' http://127.0.0.1:8200";  // under mutex_
  std::vector<std::string> asked_;
};

TEST_F(OwnPolicyLoopbackServerTest, AsksThePolicyAtEveryAnswerAndSendsNoneWhenItIsEmpty) {
  for (const auto& raw : {withCookie("/"), withCookie("/app.js"), request("GET", "/")}) {
    auto reply = exchange(raw);
    EXPECT_EQ((*reply)["Content-Security-Policy"], "frame-ancestors 'self' http://127.0.0.1:8200");
    EXPECT_EQ(reply->count("X-Frame-Options"), 0u) << "it would contradict frame-ancestors";
    EXPECT_EQ((*reply)[http::field::cache_control], "no-store");
  }
  Client socket(port_);
  ASSERT_EQ(socket.upgrade(host_, cookie_), 101u);
  EXPECT_EQ(socket.handshake()["Content-Security-Policy"],
            "frame-ancestors 'self' http://127.0.0.1:8200");
  {
    std::lock_guard lock(mutex_);
    EXPECT_EQ(asked_, std::vector<std::string>(4, host_));
    policy_.clear();
  }
  EXPECT_EQ(exchange(withCookie("/"))->count("Content-Security-Policy"), 0u);
  {
    std::lock_guard lock(mutex_);
    policy_ = "frame-ancestors 'self'\r\nSet-Cookie: x=1";
  }
  auto reply = exchange(withCookie("/"));
  EXPECT_EQ(reply->count("Content-Security-Policy") + reply->count(http::field::set_cookie), 0u);
}

TEST_F(OwnPolicyLoopbackServerTest, AnswersTheApplicationsOwnRoutesWithItsIndexAndNothingElse) {
  const std::string index =
      "<!doctype html><head lang=\"en\"><script src=\"/_brisklane/start.js\"></script>"
      "<title>t</title></head>home";
  for (std::string target : {"/today", "/tasks/42", "/tasks/42/", "/today?tab=all"}) {
    auto reply = exchange(withCookie(target));
    EXPECT_EQ(reply->result_int(), 200u) << target;
    EXPECT_EQ((*reply)[http::field::content_type], "text/html; charset=utf-8") << target;
    EXPECT_EQ(reply->body(), index) << target;
  }
  EXPECT_EQ(exchange(withCookie("/docs/"))->body(),
            "<script src=\"/_brisklane/start.js\"></script>docs")
      << "a folder's own index comes first";
  for (std::string target : {"/missing.js", "/tasks/42.json", "/.hidden", "/.git/config"}) {
    EXPECT_EQ(exchange(withCookie(target))->result_int(), 404u) << target;
  }
  EXPECT_EQ(exchange(request("GET", "/today"))->result_int(), 403u) << "the token still counts";
  for (std::string target : {"/../secret.txt", "/%2e%2e/secret", "/escape/secret", "/leak"}) {
    auto reply = exchange(withCookie(target));
    EXPECT_EQ(reply->body().find("SECRET"), std::string::npos) << target;
  }
  EXPECT_EQ(exchange(withCookie("/../today"))->result_int(), 403u);
}

TEST(NamesClientRoute, TakesPathsWithoutExtensionOrHiddenSegment) {
  for (auto path : {"/", "/today", "/tasks/42", "/tasks/42/", "/v1.2/today"}) {
    EXPECT_TRUE(web::namesClientRoute(path)) << path;
  }
  for (auto path : {"", "today", "/app.js", "/tasks/42.json", "/.env", "/.well-known/x"}) {
    EXPECT_FALSE(web::namesClientRoute(path)) << path;
  }
}

// A development server of the test's own: it answers HTTP with what it was
// asked, "/page" with HTML, and turns any WebSocket into an echo that speaks
// first, with the subprotocol the page asked for. It records the head of
// every request it gets.
class Upstream {
 public:
  Upstream() : acceptor_(context_, {net::ip::address_v4::loopback(), 0}) {
    port_ = acceptor_.local_endpoint().port();
    accepting_ = std::thread([this] { accept(); });
  }
  ~Upstream() {
    stopping_ = true;
    tcp::socket wake(context_);
    beast::error_code ignored;
    wake.connect({net::ip::address_v4::loopback(), port_}, ignored);
    accepting_.join();
    for (auto& connection : connections_) connection.join();
  }
  Upstream(const Upstream&) = delete;
  Upstream& operator=(const Upstream&) = delete;

  [[nodiscard]] std::uint16_t port() const { return port_; }
  std::vector<std::string> heads() {
    std::lock_guard lock(mutex_);
    return heads_;
  }

 private:
  void accept() {
    while (true) {
      tcp::socket socket(context_);
      beast::error_code error;
      acceptor_.accept(socket, error);
      if (stopping_ || error) return;
      connections_.emplace_back(
          [this, socket = std::move(socket)]() mutable { serve(std::move(socket)); });
    }
  }

  void serve(tcp::socket socket) {
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    beast::error_code error;
    http::read(socket, buffer, request, error);
    if (error) return;
    {
      std::ostringstream head;
      head << request.base();
      std::lock_guard lock(mutex_);
      heads_.push_back(head.str());
    }
    if (websocket::is_upgrade(request)) return echo(std::move(socket), std::move(request));
    Reply reply(http::status::ok, request.version());
    if (request.target() == "/page") {
      reply.set(http::field::content_type, "text/html");
      reply.body() = "<html><head><title>dev</title></head><body>dev</body></html>";
    } else {
      reply.set(http::field::content_type, "text/plain");
      reply.set("Content-Security-Policy", "default-src 'none'");
      reply.body() = std::string(request.method_string()) + " " + std::string(request.target()) +
                     " " + request.body();
    }
    reply.keep_alive(false);
    reply.prepare_payload();
    http::write(socket, reply, error);
  }

  static void echo(tcp::socket socket, http::request<http::string_body> request) {
    websocket::stream<tcp::socket> webSocket(std::move(socket));
    std::string subprotocol(request[http::field::sec_websocket_protocol]);
    webSocket.set_option(websocket::stream_base::decorator([subprotocol](auto& response) {
      response.set(http::field::sec_websocket_protocol, subprotocol);
    }));
    beast::error_code error;
    webSocket.accept(request, error);
    if (error) return;
    webSocket.write(net::buffer(std::string("connected")), error);
    beast::flat_buffer buffer;
    while (!error) {
      webSocket.read(buffer, error);
      if (error) break;
      webSocket.write(net::buffer("upstream " + beast::buffers_to_string(buffer.data())), error);
      buffer.consume(buffer.size());
    }
  }

  net::io_context context_;
  tcp::acceptor acceptor_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_ = false;
  std::thread accepting_;
  std::vector<std::thread> connections_;  // the accepting thread's alone until it ends
  std::mutex mutex_;
  std::vector<std::string> heads_;
};

class ProxyLoopbackServerTest : public LoopbackServerTest {
 protected:
  void SetUp() override {
    configure_ = [this](LoopbackServerOptions& options) {
      options.upstream = LoopbackOrigin{.host = "127.0.0.1", .port = upstream_.port()};
    };
    LoopbackServerTest::SetUp();
  }
  [[nodiscard]] std::string upstreamHost() const {
    return "Host: 127.0.0.1:" + std::to_string(upstream_.port()) + "\r\n";
  }
  Upstream upstream_;  // outlives the server, whose tunnels end its echoes
};

TEST_F(ProxyLoopbackServerTest, ForwardsWhatIsNotItsOwnWithTheHostItExpectsAndNoneOfItsSecrets) {
  auto reply = exchange(withCookie("/src/main.ts?v=1&token=" + options_.token + "&t=2", "GET",
                                   "Cookie: theme=dark\r\nAccept-Encoding: gzip\r\n"));
  EXPECT_EQ(reply->result_int(), 303u) << "a token in the address is traded as always";
  reply = exchange(request("GET", "/src/main.ts?v=1",
                           "Cookie: theme=dark; " + cookie_ + "\r\nAccept-Encoding: gzip\r\n"));
  ASSERT_EQ(reply->result_int(), 200u);
  EXPECT_EQ(reply->body(), "GET /src/main.ts?v=1 ");
  EXPECT_EQ((*reply)[http::field::content_type], "text/plain");
  EXPECT_EQ((*reply)["Content-Security-Policy"], strictContentSecurityPolicy(host_))
      << "the answer's headers are the server's, not the development server's";
  std::string post = "Origin: " + origin() + "\r\nContent-Length: 4\r\n";
  EXPECT_EQ(exchange(withCookie("/api/tasks?x=1", "POST", post) + "task")->body(),
            "POST /api/tasks?x=1 task");
  EXPECT_EQ(exchange(withCookie("/_brisklane/start.js"))->result_int(), 200u);
  EXPECT_EQ(exchange(withCookie("/tap"))->body(), "tapped");

  auto heads = upstream_.heads();
  ASSERT_EQ(heads.size(), 2u) << "own resources and routes stay here";
  EXPECT_TRUE(heads[0].starts_with("GET /src/main.ts?v=1 HTTP/1.1\r\n")) << heads[0];
  for (const auto& head : heads) {
    EXPECT_NE(head.find(upstreamHost()), std::string::npos) << head;
    EXPECT_EQ(head.find(options_.token), std::string::npos) << head;
    EXPECT_EQ(head.find("brisklane-token-"), std::string::npos) << head;
    EXPECT_EQ(head.find("gzip"), std::string::npos) << head;
  }
  EXPECT_NE(heads[0].find("Cookie: theme=dark\r\n"), std::string::npos) << heads[0];
}

TEST_F(ProxyLoopbackServerTest, ChecksBeforeForwardingAndInsertsIntoTheDevelopmentServersHtml) {
  EXPECT_EQ(exchange(request("GET", "/page"))->result_int(), 403u);
  std::string foreignHost =
      "GET /page HTTP/1.1\r\n" + upstreamHost() + "Cookie: " + cookie_ + "\r\n\r\n";
  EXPECT_EQ(exchange(foreignHost)->result_int(), 403u);
  std::string foreignOrigin =
      "Origin: http://127.0.0.1:" + std::to_string(upstream_.port()) + "\r\nContent-Length: 0\r\n";
  EXPECT_EQ(exchange(withCookie("/api", "POST", foreignOrigin))->result_int(), 403u);
  EXPECT_EQ(upstream_.heads().size(), 0u) << "what is refused never reaches it";

  auto reply = exchange(withCookie("/page"));
  EXPECT_EQ(reply->body(),
            "<html><head><script src=\"/_brisklane/start.js\"></script><title>dev</title></head>"
            "<body>dev</body></html>");
}

TEST_F(ProxyLoopbackServerTest, TunnelsOtherWebSocketsWithTheirSubprotocolAndOwnToken) {
  Client refused(port_);
  EXPECT_EQ(refused.upgrade(host_, "", "/?token=dev0", "vite-hmr"), 403u);
  Client socket(port_);
  ASSERT_EQ(socket.upgrade(host_, cookie_, "/?token=dev0", "vite-hmr"), 101u);
  EXPECT_EQ(socket.handshake()[http::field::sec_websocket_protocol], "vite-hmr");
  EXPECT_EQ(socket.receiveMessage(), "connected");
  socket.sendMessage("ping");
  EXPECT_EQ(socket.receiveMessage(), "upstream ping");
  socket.sendMessage(std::string(std::size_t{100} * 1024, 'w'));
  EXPECT_EQ(socket.receiveMessage(), "upstream " + std::string(std::size_t{100} * 1024, 'w'));

  Client own(port_);
  ASSERT_EQ(own.upgrade(host_, cookie_), 101u) << "the server's own socket stays its own";
  own.sendMessage("hi");
  EXPECT_EQ(own.receiveMessage(), "echo hi");

  auto heads = upstream_.heads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_TRUE(heads[0].starts_with("GET /?token=dev0 HTTP/1.1\r\n")) << heads[0];
  EXPECT_NE(heads[0].find(upstreamHost()), std::string::npos) << heads[0];
  EXPECT_EQ(heads[0].find(options_.token), std::string::npos) << heads[0];
}

class SilentUpstreamLoopbackServerTest : public LoopbackServerTest {
 protected:
  void SetUp() override {
    std::uint16_t closed = 0;
    {
      net::io_context context;
      tcp::acceptor acceptor(context, {net::ip::address_v4::loopback(), 0});
      closed = acceptor.local_endpoint().port();
    }
    configure_ = [closed](LoopbackServerOptions& options) {
      options.upstream = LoopbackOrigin{.host = "localhost", .port = closed};
    };
    LoopbackServerTest::SetUp();
  }
};

TEST_F(SilentUpstreamLoopbackServerTest, AnswersBadGatewayForRequestsAndSockets) {
  Client client(port_);
  for (int round = 0; round < 2; ++round) {
    client.send(withCookie("/src/main.ts"));
    auto reply = client.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->result_int(), 502u);
    EXPECT_EQ(reply->body(), "The development server does not answer.\n");
  }
  Client socket(port_);
  EXPECT_EQ(socket.upgrade(host_, cookie_, "/?token=dev0", "vite-hmr"), 502u);
}

TEST(LoopbackOrigin, TakesOnlyTheLoopbackNamesWithAPort) {
  EXPECT_EQ(loopbackOrigin("http://127.0.0.1:5173"),
            (LoopbackOrigin{.host = "127.0.0.1", .port = 5173}));
  EXPECT_EQ(loopbackOrigin("HTTP://LocalHost:5173/")->origin(), "http://localhost:5173");
  EXPECT_EQ(loopbackOrigin("http://[::1]:65535")->hostAndPort(), "[::1]:65535");
  for (auto url : {"http://127.0.0.1", "http://127.0.0.1:0", "http://127.0.0.1:65536",
                   "https://127.0.0.1:5173", "http://127.0.0.2:5173", "http://localhost.evil:1",
                   "http://example.com:5173", "http://127.0.0.1:5173/app", "http://user@[::1]:1",
                   "http://127.0.0.1:5173\r\nX: y", " http://127.0.0.1:5173", ""}) {
    EXPECT_FALSE(loopbackOrigin(url)) << url;
  }
}

// Its form is checked wherever a program prints its page's address.
TEST(MakeToken, GivesAnotherTokenEachTime) {
  EXPECT_NE(makeToken(), makeToken());
}

}  // namespace
}  // namespace brisklane
