// The loopback server under a crowd of local callers without the token: the
// page must still load promptly. Loopback only; the crowd stops by itself
// after a bounded time and number of connections.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/web/loopback_server.h"
#include "platform/web/network_names.h"

namespace brisklane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Reply = http::response<http::string_body>;

// Callers that never show the token, on a thread of their own. Each connects,
// says its greeting (none, part of a request, or a whole one) and reads until
// the server closes it; every `period` it connects again if it was closed,
// and says its greeting again if it `repeats`.
class Crowd {
 public:
  struct Caller {
    std::string greeting;
    std::chrono::milliseconds period;
    bool repeats = false;
  };

  Crowd(std::uint16_t port, const std::vector<Caller>& callers, std::chrono::seconds lifetime)
      : server_(net::ip::address_v4::loopback(), port) {
    for (const auto& caller : callers) {
      slots_.push_back(std::make_unique<Slot>(Slot{.caller = caller,
                                                   .socket = tcp::socket(context_),
                                                   .timer = net::steady_timer(context_)}));
    }
    for (auto& slot : slots_) tick(*slot);
    thread_ = std::thread([this, lifetime] { context_.run_for(lifetime); });
  }
  ~Crowd() {
    context_.stop();
    thread_.join();
  }
  Crowd(const Crowd&) = delete;
  Crowd& operator=(const Crowd&) = delete;

  [[nodiscard]] std::size_t connected() const { return connected_; }
  [[nodiscard]] std::size_t closedByServer() const { return closedByServer_; }

 private:
  static constexpr std::size_t maximumConnections = 20'000;
  enum class Link { closed, connecting, open };
  struct Slot {
    Caller caller;
    tcp::socket socket;
    net::steady_timer timer;
    Link link = Link::closed;
    std::array<char, 512> received{};
  };

  void tick(Slot& slot) {
    if (slot.link == Link::closed) {
      connect(slot);
    } else if (slot.link == Link::open && slot.caller.repeats) {
      greet(slot);
    }
    slot.timer.expires_after(slot.caller.period);
    slot.timer.async_wait([this, &slot](beast::error_code error) {
      if (!error) tick(slot);
    });
  }

  void connect(Slot& slot) {
    if (connected_ >= maximumConnections) return;
    slot.link = Link::connecting;
    slot.socket = tcp::socket(context_);
    slot.socket.async_connect(server_, [this, &slot](beast::error_code error) {
      if (error) return close(slot);
      slot.link = Link::open;
      ++connected_;
      greet(slot);
      read(slot);
    });
  }

  void greet(Slot& slot) {
    if (slot.caller.greeting.empty()) return;
    net::async_write(slot.socket, net::buffer(slot.caller.greeting),
                     [](beast::error_code, std::size_t) {});
  }

  void read(Slot& slot) {
    slot.socket.async_read_some(net::buffer(slot.received),
                                [this, &slot](beast::error_code error, std::size_t) {
                                  if (!error) return read(slot);
                                  ++closedByServer_;
                                  close(slot);
                                });
  }

  void close(Slot& slot) {
    beast::error_code ignored;
    slot.socket.close(ignored);
    slot.link = Link::closed;
  }

  net::io_context context_;
  tcp::endpoint server_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::atomic<std::size_t> connected_ = 0;
  std::atomic<std::size_t> closedByServer_ = 0;
  std::thread thread_;
};

// A browser's connection, one exchange at a time; an answer that does not
// come within `patience` is none.
class PageConnection {
 public:
  static constexpr auto patience = 5s;

  explicit PageConnection(std::uint16_t port) {
    stream_.expires_after(patience);
    stream_.async_connect({net::ip::address_v4::loopback(), port},
                          [this](beast::error_code error) { connected_ = !error; });
    context_.run();
  }

  std::optional<Reply> exchange(std::string raw) {
    if (!connected_) return std::nullopt;
    std::optional<Reply> reply;
    parser_.emplace();
    stream_.expires_after(patience);
    net::async_write(stream_, net::buffer(raw),
                     [this, &reply](beast::error_code error, std::size_t) {
                       if (error) return;
                       http::async_read(stream_, buffer_, *parser_,
                                        [this, &reply](beast::error_code read, std::size_t) {
                                          if (!read) reply = parser_->release();
                                        });
                     });
    context_.restart();
    context_.run();
    return reply;
  }

 private:
  net::io_context context_;
  beast::tcp_stream stream_{context_};
  beast::flat_buffer buffer_;
  std::optional<http::response_parser<http::string_body>> parser_;
  bool connected_ = false;
};

// A server with one page on a thread of its own, however the test ends.
struct ServerThread {
  ServerThread() {
    auto started = LoopbackServer::start(
        context,
        {.token = makeToken(), .resources = {{"/", {.contentType = "text/html", .body = "page"}}}});
    if (started) server = *std::move(started);
    thread = std::thread([this] { context.run(); });
  }
  ~ServerThread() {
    net::post(context, [this] { server.reset(); });
    work.reset();
    thread.join();
  }
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  net::io_context context;
  net::executor_work_guard<net::io_context::executor_type> work = net::make_work_guard(context);
  std::unique_ptr<LoopbackServer> server;
  std::thread thread;
};

// Makes room for `descriptors` open at once, or says why it cannot.
std::optional<std::string> allowDescriptors(rlim_t descriptors) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return "cannot read the descriptor limit";
  if (limit.rlim_cur >= descriptors) return std::nullopt;
  if (limit.rlim_max < descriptors) {
    return "needs " + std::to_string(descriptors) + " descriptors; the hard limit is " +
           std::to_string(limit.rlim_max);
  }
  limit.rlim_cur = descriptors;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return "cannot raise the descriptor limit";
  return std::nullopt;
}

TEST(LoopbackServerUnderLoad,
     LoadsThePageWithinTwoSecondsWhileStrangersHoldFiveHundredConnections) {
  constexpr std::size_t crowdSize = 500;
  const LoopbackServerLimits limits;
  if (auto why = allowDescriptors(crowdSize + limits.connections + 128)) GTEST_SKIP() << *why;

  ServerThread running;
  ASSERT_TRUE(running.server);
  const std::uint16_t port = running.server->port();
  const std::string host = "127.0.0.1:" + std::to_string(port);
  const std::string address = running.server->url().substr(running.server->origin().size());

  // From the address handed out, as a browser opens it: the token traded
  // for the cookie, then the page with it.
  auto loadPage = [&](PageConnection& connection) {
    auto traded = connection.exchange("GET " + address + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    if (!traded || traded->result_int() != 303) return false;
    std::string cookie((*traded)[http::field::set_cookie]);
    cookie.resize(cookie.find(';'));
    auto page = connection.exchange("GET / HTTP/1.1\r\nHost: " + host + "\r\nCookie: " + cookie +
                                    "\r\n\r\n");
    return page && page->body() == "page";
  };

  PageConnection before(port);
  ASSERT_TRUE(loadPage(before)) << "before the crowd";

  // Half of the crowd sends nothing, half a request it never ends; one more
  // caller asks without the token every second on a keep-alive connection.
  std::vector<Crowd::Caller> callers(crowdSize / 2, {.greeting = "", .period = 250ms});
  callers.resize(crowdSize,
                 {.greeting = "GET / HTTP/1.1\r\nHost: " + host + "\r\n", .period = 250ms});
  callers.push_back(
      {.greeting = "GET / HTTP/1.1\r\nHost: " + host + "\r\nConnection: keep-alive\r\n\r\n",
       .period = 1000ms,
       .repeats = true});
  Crowd crowd(port, callers, 10s);
  for (auto deadline = Clock::now() + 3s;
       crowd.connected() < crowdSize || crowd.closedByServer() < crowdSize - limits.connections;) {
    ASSERT_LT(Clock::now(), deadline) << "the crowd did not gather";
    std::this_thread::sleep_for(10ms);
  }

  // Long enough for strangers to reach their first request's deadline too.
  Clock::duration worst{};
  for (int round = 0; round < 8; ++round) {
    auto begin = Clock::now();
    PageConnection connection(port);
    ASSERT_TRUE(loadPage(connection)) << "round " << round;
    auto took = Clock::now() - begin;
    EXPECT_LT(took, 2s) << "round " << round;
    worst = std::max(worst, took);
    std::this_thread::sleep_for(400ms);
  }
  EXPECT_TRUE(loadPage(before)) << "an admitted connection is never displaced";
  EXPECT_GT(crowd.closedByServer(), 2 * crowdSize) << "the server was not kept full";
  RecordProperty(
      "worstPageLoadMicroseconds",
      std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(worst).count()));
  std::printf(
      "worst page load %lld us; the crowd connected %zu times, closed %zu times\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(worst).count()),
      crowd.connected(), crowd.closedByServer());
}

}  // namespace
}  // namespace brisklane
