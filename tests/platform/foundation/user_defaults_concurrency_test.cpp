// Many connections opening the same new store at once, as the widget host's
// threads do when they first show an entry without a summary: every one of
// them gets the store, none is told it does not exist.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "platform/foundation/user_defaults.h"
#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

TEST(UserDefaultsConcurrency, EveryConnectionSettingUpANewStoreAtOnceGetsIt) {
  constexpr int rounds = 25;
  constexpr int threadCount = 16;
  for (int round = 0; round < rounds; ++round) {
    testing::TemporaryDevice device;
    std::atomic<int> opened{0};
    std::latch start(threadCount);
    std::vector<std::thread> threads;
    for (int index = 0; index < threadCount; ++index) {
      threads.emplace_back([&] {
        start.arrive_and_wait();
        std::optional<UserDefaults> store = UserDefaults::open("group.app.brisklane.shared");
        if (store && !store->string("diag")) ++opened;
      });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(opened.load(), threadCount) << "round " << round;
  }
}

}  // namespace
}  // namespace brisklane
