#include "platform/uikit/control_socket.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <thread>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

std::optional<SystemRequest> requestOf(std::string_view line) {
  auto decoded = decodeSystemRequest(line);
  if (decoded) return *decoded;
  return std::nullopt;
}

// The request fuzzer's seeds: one file for each kind of request and option.
TEST(SystemRequest, EveryCorpusFileDecodesAsItsNameSaysAndRoundTripsThroughOneLine) {
  const auto files = testing::corpusFiles("system_request");
  for (const auto& [name, text] : files) {
    SCOPED_TRACE(name);
    if (name.starts_with("valid-")) {
      auto request = requestOf(text);
      ASSERT_TRUE(request);
      const std::string line = encodeSystemRequest(*request);
      EXPECT_EQ(line.find('\n'), std::string::npos);
      EXPECT_EQ(requestOf(line), request);
    } else {
      ASSERT_TRUE(name.starts_with("invalid-")) << "corpus files are valid-* or invalid-*";
      EXPECT_FALSE(decodeSystemRequest(text));
    }
  }
  EXPECT_GE(files.size(), 15u);
}

TEST(ControlSocket, DeliversToTheRunningApplicationAndNowhereElse) {
  testing::TemporaryDevice device;
  OpenURLRequest request{.url = "brisklane://today", .options = {}};
  EXPECT_FALSE(deliverToRunningApplication(request));

  // The server lives on this thread's loop; clients call from threads of
  // their own, as other processes would.
  boost::asio::io_context loop(1);
  std::vector<SystemRequest> received;
  auto server = ControlSocketServer::start(loop, [&](const SystemRequest& got) {
    received.push_back(got);
    const bool declined = std::holds_alternative<LifeCycleRequest>(got);
    return SystemAnswer{.accepted = !declined,
                        .error = declined ? "not now" : "",
                        .applicationState = UIApplication::State::background};
  });
  ASSERT_TRUE(server) << server.reason();
  EXPECT_EQ(std::filesystem::status(applicationControlSocketPath()).permissions() &
                std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  std::optional<Result<RunningApplication>> accepted, refused, declined;
  std::thread clients([&] {
    accepted = deliverToRunningApplication(request);
    declined = deliverToRunningApplication(LifeCycleRequest{.move = LifeCycleMove::foreground});
    // A client that never writes does not keep the next one waiting.
    boost::asio::io_context idle;
    boost::asio::local::stream_protocol::socket silent(idle);
    silent.connect(applicationControlSocketPath().native());
    ContinueUserActivityRequest bad{{.activityType = "", .webpageURL = {}}};
    refused = deliverToRunningApplication(bad);
    boost::asio::post(loop, [&] { server->reset(); });
  });
  loop.run();
  clients.join();

  ASSERT_TRUE(accepted && *accepted);
  EXPECT_EQ((*accepted)->applicationState, UIApplication::State::background);
  EXPECT_EQ((*accepted)->processIdentifier, ::getpid());
  // A request the application read but declined is answered with its reason.
  ASSERT_TRUE(declined && !*declined);
  EXPECT_EQ(declined->reason(), "not now");
  ASSERT_TRUE(refused && !*refused);
  EXPECT_EQ(refused->reason(), "\"activityType\" must be a non-empty string");
  EXPECT_EQ(received, (std::vector<SystemRequest>{
                          request, LifeCycleRequest{.move = LifeCycleMove::foreground}}));
}

std::chrono::nanoseconds threadCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Out of descriptors, accept fails at once for as long as a connection
// waits. The listener must wait between tries rather than spin on the loop's
// thread, and serve the connection once descriptors are free again.
TEST(ControlSocket, WaitsOutAShortageOfDescriptorsAndThenServesTheWaitingClient) {
  testing::TemporaryDevice device;
  boost::asio::io_context loop(1);
  auto server = ControlSocketServer::start(loop, [](const SystemRequest&) {
    return SystemAnswer{
        .accepted = true, .error = "", .applicationState = UIApplication::State::active};
  });
  ASSERT_TRUE(server) << server.reason();
  boost::asio::local::stream_protocol::socket client(loop);
  client.connect(applicationControlSocketPath().native());
  boost::asio::write(client, boost::asio::buffer(std::string(R"({"query":"applicationState"})"
                                                             "\n")));

  rlimit original{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
  rlimit lowered = original;
  lowered.rlim_cur = std::min<rlim_t>(original.rlim_cur, 256);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  std::vector<int> taken;
  for (rlim_t i = 0; i < lowered.rlim_cur; ++i) {
    int descriptor = ::dup(client.native_handle());
    if (descriptor < 0) break;
    taken.push_back(descriptor);
  }
  ASSERT_EQ(::dup(client.native_handle()), -1) << "descriptors left";

  auto before = threadCpuTime();
  loop.run_for(std::chrono::seconds(1));
  auto spent = threadCpuTime() - before;
  for (int descriptor : taken) ::close(descriptor);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &original), 0);
  EXPECT_LT(spent, std::chrono::milliseconds(100)) << "the accept loop spins";

  std::string reply;
  boost::asio::async_read_until(client, boost::asio::dynamic_buffer(reply), '\n',
                                [&](boost::system::error_code, std::size_t) { loop.stop(); });
  loop.restart();
  loop.run_for(std::chrono::seconds(2));
  EXPECT_NE(reply.find("\"accepted\":true"), std::string::npos) << reply;
  server->reset();
}

}  // namespace
}  // namespace brisklane
