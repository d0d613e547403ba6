#include "platform/uikit/control_socket.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/post.hpp>
#include <thread>

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
  EXPECT_EQ(deliverToRunningApplication(request).outcome, DeliveryOutcome::noApplication);

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

  Delivery accepted, refused, declined;
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

  EXPECT_EQ(accepted.outcome, DeliveryOutcome::accepted);
  EXPECT_EQ(accepted.applicationState, UIApplication::State::background);
  EXPECT_EQ(accepted.processIdentifier, ::getpid());
  // A request the application read but declined is answered with its reason.
  EXPECT_EQ(declined.outcome, DeliveryOutcome::failed);
  EXPECT_EQ(declined.detail, "not now");
  EXPECT_EQ(refused.outcome, DeliveryOutcome::failed);
  EXPECT_EQ(refused.detail, "\"activityType\" must be a non-empty string");
  EXPECT_EQ(received, (std::vector<SystemRequest>{
                          request, LifeCycleRequest{.move = LifeCycleMove::foreground}}));
}

}  // namespace
}  // namespace brisklane
