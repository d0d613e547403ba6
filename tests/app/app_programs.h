// `App` and the widget extension as the separate processes they are, on a
// fresh simulated device: a fixture that starts them (their standard error in
// a file of the device each) and speaks the bridge's messages to App.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"

namespace brisklane::testing {

// A `set` of SharedTodayWidget with `payload`, as the web layer sends it.
inline std::string setLine(int callbackId, std::string_view payload) {
  return nlohmann::json{{"type", "message"},
                        {"callbackId", std::to_string(callbackId)},
                        {"pluginId", "SharedTodayWidget"},
                        {"methodName", "set"},
                        {"options", {{"payload", payload}}}}
      .dump();
}

class ProgramsTest : public ::testing::Test {
 protected:
  std::unique_ptr<Process> start(const std::filesystem::path& program,
                                 const std::vector<std::string>& arguments = {}) {
    return std::make_unique<Process>(program, arguments,
                                     device.root() / ("stderr-" + std::to_string(++started)));
  }
  std::unique_ptr<Process> startApp(const std::vector<std::string>& arguments = {}) {
    return start(builtProgram("App"), arguments);
  }

  // Runs the widget extension to its end: its exit code and output.
  std::pair<int, std::string> extension(const std::vector<std::string>& arguments) {
    auto process = start(builtProgram("BrisklaneWidgetExtension"), arguments);
    std::string output;
    for (const auto& line : process->readAllLines()) output += line + "\n";
    return {process->wait(), output};
  }

  // The summary in the widget's timeline, as the widget itself reads it.
  nlohmann::json timelinePayload() {
    auto [exitCode, timeline] = extension({"timeline"});
    EXPECT_EQ(exitCode, 0);
    return nlohmann::json::parse(timeline, nullptr, false)
        .value("entries", nlohmann::json::array())
        .at(0)["payload"];
  }

  TemporaryDevice device;
  int started = 0;
};

}  // namespace brisklane::testing
