// Several threads ask for timelines while another process keeps publishing:
// every entry must carry a whole summary, never a torn or missing one, and
// no reader may go backwards.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/foundation/user_defaults.h"
#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"
#include "widget/today/provider.h"

namespace brisklane {
namespace {

bool isWhole(const TodayPayload& payload) {
  if (payload.items.size() != static_cast<size_t>(payload.count % 40)) return false;
  for (size_t i = 0; i < payload.items.size(); ++i) {
    if (payload.items[i].title != std::to_string(payload.count) + ":" + std::to_string(i)) {
      return false;
    }
  }
  return true;
}

TEST(TimelineConcurrency, ReadersSeeWholeSummariesWhileAnotherProcessWrites) {
  testing::TemporaryDevice device;
  ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)->set(R"({"count":0,"items":[]})", todayKey));

  testing::Process writer(STORE_WRITER, {"400"}, device.root() / "writer.err");

  std::atomic<bool> writerDone{false};
  std::atomic<int> reads{0}, absent{0}, torn{0}, backwards{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      std::int64_t last = 0;
      while (!writerDone.load()) {
        Provider{}.getTimeline({}, [&](Timeline<TodayEntry> timeline) {
          const auto& payload = timeline.entries.at(0).payload;
          ++reads;
          if (!payload) {
            ++absent;
          } else if (!isWhole(*payload)) {
            ++torn;
          } else {
            if (payload->count < last) ++backwards;
            last = payload->count;
          }
        });
      }
    });
  }
  const int exitCode = writer.wait();
  writerDone = true;
  for (auto& reader : readers) reader.join();

  EXPECT_EQ(exitCode, 0) << writer.standardError();
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(absent.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(backwards.load(), 0);
  auto last = UserDefaults::open(appGroupIdentifier)->string(todayKey);
  EXPECT_NE(last->find("\"count\":400"), std::string::npos);
}

}  // namespace
}  // namespace brisklane
