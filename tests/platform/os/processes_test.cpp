#include "platform/os/processes.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/os/system_faults.h"

namespace brisklane {
namespace {

using namespace std::chrono_literals;

// No child of this test is left, ended or not: each capture reaped its own.
bool noChildLeft() {
  return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

TEST(CaptureOutput, AnswersTheOutputAndKillsAndReapsAChildThatOverstays) {
  auto printed = captureOutput({"/bin/sh", "-c", "printf 'a\\nb'; exit 3"}, 5s);
  ASSERT_TRUE(printed) << printed.reason().message;
  EXPECT_EQ(printed->output, "a\nb");
  EXPECT_EQ(describe(printed->outcome), "exited with 3");
  EXPECT_FALSE(printed->overstayed);

  // One that keeps its output open, and one that closes it and stays.
  for (const char* script : {"echo early; sleep 30", "exec >&-; sleep 30"}) {
    const auto started = std::chrono::steady_clock::now();
    auto overstayed = captureOutput({"/bin/sh", "-c", script}, 200ms);
    ASSERT_TRUE(overstayed) << script;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << script;
    EXPECT_TRUE(overstayed->overstayed) << script;
    EXPECT_EQ(describe(overstayed->outcome), "killed by signal 9") << script;
  }
  EXPECT_TRUE(noChildLeft());
}

TEST(SpawnProcess, SaysWhyAProgramCannotStart) {
  EXPECT_EQ(spawnProcess({"/no/such/program"}, {}).reason().message,
            "cannot start /no/such/program: No such file or directory");
  testing::SystemFaultInjection fault(testing::SystemFault::spawn);
  EXPECT_EQ(captureOutput({"/bin/true"}, 1s).reason().message,
            "cannot start /bin/true: Resource temporarily unavailable");
  EXPECT_TRUE(noChildLeft());
}

}  // namespace
}  // namespace brisklane
