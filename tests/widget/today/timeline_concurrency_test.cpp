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
  std::atomic<int> reads{0};
  std::atomic<int> wrong{0};  // absent, torn, or older than the reader's last
  std::vector<std::thread> readers(4);
  for (std::thread& reader : readers) {
    reader = std::thread([&] {
      std::int64_t last = 0;
      while (!writerDone.load()) {
        Provider{}.getTimeline({}, [&](const Timeline<TodayEntry>& timeline) {
          const auto& payload = timeline.entries.at(0).payload;
          ++reads;
          if (!payload || !isWhole(*payload) || payload->count < last) {
            ++wrong;
          } else {
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
  EXPECT_EQ(wrong.load(), 0) << "of " << reads.load() << " reads";
  auto last = UserDefaults::open(appGroupIdentifier)->string(todayKey);
  EXPECT_NE(last->find("\"count\":400"), std::string::npos);
}

}  // namespace
}  // namespace brisklane
