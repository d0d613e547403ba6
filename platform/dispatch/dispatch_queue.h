// Grand Central Dispatch's main queue: a first-in, first-out list of tasks
// that the main thread runs as its run loop. `async` may be called from any
// thread; the tasks run one at a time, in the order they were queued, on the
// thread that runs the loop.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace brisklane {

class DispatchQueue {
 public:
  using Task = std::function<void()>;

  // The process's main queue (`DispatchQueue.main`).
  [[nodiscard]] static DispatchQueue& main();

  DispatchQueue() = default;
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  // Queues `task` and returns at once.
  void async(Task task);

  // The run loop: runs tasks as they come until `stop` was asked and nothing
  // is pending any more, then returns. Called by the thread that owns the
  // queue.
  void run();

  // Asks `run` to return once the queue is empty. Safe from any thread and
  // from within a task; tasks queued before the loop returns still run.
  void stop();

  // Runs what is pending, including tasks those tasks queue, and returns how
  // many ran. For shutdown after the loop, and for tests.
  std::size_t drain();

 private:
  [[nodiscard]] bool takeNext(Task& task);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
};

}  // namespace brisklane
