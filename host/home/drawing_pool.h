// A small fixed set of threads that draw a round's pictures side by side.
//
// The threads live as long as the pool: each thread that measures or draws
// text builds its own Pango font map and shaping context on first use (see
// text.h), which costs far more than drawing a widget, so threads are kept
// rather than started per picture. The thread that hands the tasks over works
// on them too, and returns when every one has finished.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace brisklane {

class DrawingPool {
 public:
  // `helpers` threads besides the caller's: 1 draws two pictures at a time.
  explicit DrawingPool(std::size_t helpers);
  // Waits for the helpers to finish what they run, then ends them.
  ~DrawingPool();
  DrawingPool(const DrawingPool&) = delete;
  DrawingPool& operator=(const DrawingPool&) = delete;

  // Runs every task once, on the helpers and the calling thread, and returns
  // when all have returned. Tasks must not throw. One caller at a time.
  void runAll(std::vector<std::function<void()>> tasks);

  // One helper on a machine of two cores or more; none on one core.
  [[nodiscard]] static std::size_t helpersForThisMachine();

 private:
  void work();
  // Runs queued tasks until none is left; true when it ran any.
  bool runQueued(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable queued_;    // a task was queued, or the pool is ending
  std::condition_variable finished_;  // a task finished
  std::deque<std::function<void()>> tasks_;
  std::size_t unfinished_ = 0;  // queued or running
  bool ending_ = false;
  std::vector<std::thread> helpers_;
};

}  // namespace brisklane
