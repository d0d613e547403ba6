// The drawing pool: every task runs once, side by side, on threads that are
// kept from one round to the next; the caller returns only when all are done.
#include "host/home/drawing_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace brisklane {
namespace {

TEST(DrawingPool, RunsEveryTaskOnceAndReturnsWhenAllHaveFinished) {
  const auto caller = std::this_thread::get_id();
  for (std::size_t helpers : {0u, 1u}) {
    DrawingPool pool(helpers);
    for (int round = 0; round < 50; ++round) {
      std::vector<std::atomic<int>> runs(17);
      std::atomic<bool> elsewhere{false};
      std::vector<std::function<void()>> tasks;
      tasks.reserve(runs.size());
      for (auto& count : runs) {
        tasks.emplace_back([&] {
          ++count;
          if (std::this_thread::get_id() != caller) elsewhere = true;
        });
      }
      pool.runAll(std::move(tasks));
      for (const auto& count : runs) ASSERT_EQ(count.load(), 1) << "round " << round;
      ASSERT_TRUE(helpers > 0 || !elsewhere) << "without helpers the caller runs everything";
    }
    pool.runAll({});
  }
}

TEST(DrawingPool, RunsTwoTasksAtTheSameTimeOnKeptThreads) {
  DrawingPool pool(1);
  std::mutex mutex;
  std::set<std::thread::id> threads;
  for (int round = 0; round < 20; ++round) {
    // Each task waits for the other to have started: run one after the
    // other, neither would finish.
    std::atomic<int> started{0};
    std::atomic<bool> metTheOther{true};
    auto task = [&] {
      {
        std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
      }
      ++started;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (started.load() < 2) {
        if (std::chrono::steady_clock::now() > deadline) {
          metTheOther = false;
          return;
        }
        std::this_thread::yield();
      }
    };
    pool.runAll({task, task});
    ASSERT_TRUE(metTheOther) << "round " << round;
  }
  EXPECT_EQ(threads.size(), 2u) << "the helper thread is kept between rounds";
}

}  // namespace
}  // namespace brisklane
