#include "platform/capacitor/stdio_web_layer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "platform/dispatch/dispatch_queue.h"
#include "tests/platform/capacitor/recording_web_layer.h"

namespace brisklane {
namespace {

std::string call(std::string_view callbackId) {
  return R"({"callbackId":")" + std::string(callbackId) +
         R"(","pluginId":"Echo","methodName":"echo"})";
}

void writeAll(int descriptor, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(descriptor, text.data(), text.size());
    ASSERT_GT(written, 0);
    text.remove_prefix(static_cast<size_t>(written));
  }
}

TEST(StdioWebLayer, SplitsItsInputIntoMessagesAndEndsWithIt) {
  int input[2], output[2];
  ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
  auto bridge = CAPBridge::make(nullptr, nullptr);
  bridge->registerPluginType(pluginType<testing::EchoPlugin>());
  std::vector<std::string> reports;  // written by the reader thread, read after it ended
  bool ended = false;                // set on the main queue
  {
    auto layer = StdioWebLayer::start(
        bridge, input[0], output[1], [&] { ended = true; },
        [&](std::string_view text) { reports.emplace_back(text); });
    ASSERT_NE(layer, nullptr);

    std::thread writer([&] {
      writeAll(input[1], call("split").substr(0, 10));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      writeAll(input[1], call("split").substr(10) + "\n");
      writeAll(input[1], call("crlf") + "\r\n\n   \n");
      std::string overlong(maximumBridgeMessageBytes + 1, ' ');
      writeAll(input[1], overlong + call("lost") + "\n");
      writeAll(input[1], call("unterminated"));
      ::close(input[1]);
    });
    // The main thread: runs what the reader hands over until the input ends.
    while (!ended) {
      DispatchQueue::main().drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
  }
  ::close(output[1]);
  std::string written;
  char buffer[4096];
  for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;) {
    written.append(buffer, static_cast<size_t>(got));
  }
  ::close(output[0]);
  ::close(input[0]);

  std::vector<std::string> callbackIds;
  for (size_t start = 0, end; (end = written.find('\n', start)) != std::string::npos;
       start = end + 1) {
    callbackIds.push_back(JSObject::parse(written.substr(start, end - start))["callbackId"]);
  }
  EXPECT_EQ(callbackIds, (std::vector<std::string>{"split", "crlf", "unterminated"}));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0].starts_with("a line longer than")) << reports[0];
}

}  // namespace
}  // namespace brisklane
