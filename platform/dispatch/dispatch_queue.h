// Grand Central Dispatch's main queue: a first-in, first-out list of tasks
// that the main thread runs as its run loop. `async` may be called from any
// thread; the tasks run one at a time, in the order they were queued, on the
// thread that runs the loop.
//
// The run loop is the process's one event loop: an Asio `io_context`, on
// which the program's sockets, timers and signals (`context()`) complete on
// the same thread as the queued tasks, so that nothing there needs a lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace brisklane {

class DispatchQueue {
 public:
  using Task = std::function<void()>;

  // The process's main queue (`DispatchQueue.main`).
  [[nodiscard]] static DispatchQueue& main();

  DispatchQueue();
  ~DispatchQueue();
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  // Queues `task` and returns at once.
  void async(Task task);

  // The run loop: runs tasks and I/O completions as they come until `stop`
  // was asked and no task is pending any more, then returns. Called by the
  // thread that owns the queue.
  void run();

  // Asks `run` to return once no task is pending. Safe from any thread and
  // from within a task; tasks queued before the loop returns still run.
  void stop();

  // Runs what is ready, including tasks those tasks queue, and returns how
  // many tasks ran. For shutdown after the loop, and for tests.
  std::size_t drain();

  // The event loop the queue runs on, for the I/O objects whose completions
  // belong on the main thread.
  [[nodiscard]] boost::asio::io_context& context() { return *context_; }

 private:
  void stopWhenIdle();

  std::unique_ptr<boost::asio::io_context> context_;
  std::atomic<std::size_t> pending_{0};  // tasks queued and not yet run
  std::atomic<std::size_t> ran_{0};      // tasks run, for `drain`'s count
};

}  // namespace brisklane
