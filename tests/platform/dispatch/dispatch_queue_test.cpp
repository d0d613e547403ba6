#include "platform/dispatch/dispatch_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace brisklane {
namespace {

TEST(DispatchQueue, RunsTasksFromManyThreadsOnTheLoopThreadInTheirOrder) {
  constexpr int threads = 4;
  constexpr int tasksPerThread = 500;
  DispatchQueue queue;
  std::vector<std::vector<int>> seen(threads);  // touched by the loop thread only
  int ranElsewhere = 0;
  auto loopThread = std::this_thread::get_id();

  std::vector<std::thread> senders;
  senders.reserve(threads);
  for (int sender = 0; sender < threads; ++sender) {
    senders.emplace_back([&, sender] {
      for (int i = 0; i < tasksPerThread; ++i) {
        queue.async([&, sender, i] {
          if (std::this_thread::get_id() != loopThread) ++ranElsewhere;
          seen[sender].push_back(i);
        });
      }
    });
  }
  std::thread stopper([&] {
    for (auto& sender : senders) sender.join();
    queue.stop();
  });
  queue.run();
  stopper.join();

  EXPECT_EQ(ranElsewhere, 0);
  for (const auto& order : seen) {
    ASSERT_EQ(order.size(), std::size_t(tasksPerThread)) << "stop drains what was queued";
    for (int i = 0; i < tasksPerThread; ++i) ASSERT_EQ(order[i], i);
  }
}

TEST(DispatchQueue, StopFromATaskLetsQueuedWorkFinishAndDrainCountsWhatRan) {
  DispatchQueue queue;
  std::vector<int> order;
  queue.async([&] {
    order.push_back(1);
    queue.stop();
    queue.async([&] { order.push_back(3); });
  });
  queue.async([&] { order.push_back(2); });
  queue.run();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

  queue.async([&] {
    order.push_back(4);
    queue.async([&] { order.push_back(5); });
  });
  EXPECT_EQ(queue.drain(), 2u) << "with what the task queued";
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace brisklane
