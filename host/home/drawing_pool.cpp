#include "host/home/drawing_pool.h"

#include <utility>

namespace brisklane {

DrawingPool::DrawingPool(std::size_t helpers) {
  helpers_.reserve(helpers);
  for (std::size_t index = 0; index < helpers; ++index) helpers_.emplace_back([this] { work(); });
}

DrawingPool::~DrawingPool() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  queued_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

std::size_t DrawingPool::helpersForThisMachine() {
  return std::thread::hardware_concurrency() >= 2 ? 1 : 0;
}

bool DrawingPool::runQueued(std::unique_lock<std::mutex>& lock) {
  bool ran = false;
  while (!tasks_.empty()) {
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
    ran = true;
    --unfinished_;
  }
  return ran;
}

void DrawingPool::work() {
  std::unique_lock lock(mutex_);
  while (true) {
    queued_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
    if (tasks_.empty()) return;  // ending, with nothing left to do
    if (runQueued(lock)) finished_.notify_all();
  }
}

void DrawingPool::runAll(std::vector<std::function<void()>> tasks) {
  if (tasks.empty()) return;
  std::unique_lock lock(mutex_);
  unfinished_ += tasks.size();
  for (auto& task : tasks) tasks_.push_back(std::move(task));
  queued_.notify_all();
  runQueued(lock);
  finished_.wait(lock, [this] { return unfinished_ == 0; });
}

}  // namespace brisklane
