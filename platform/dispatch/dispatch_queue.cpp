#include "platform/dispatch/dispatch_queue.h"

#include <utility>

namespace brisklane {

DispatchQueue& DispatchQueue::main() {
  static DispatchQueue queue;
  return queue;
}

void DispatchQueue::async(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void DispatchQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
}

void DispatchQueue::run() {
  while (true) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
      if (tasks_.empty()) {
        stopping_ = false;  // the loop may be run again later
        return;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    if (task) task();
  }
}

bool DispatchQueue::takeNext(Task& task) {
  std::lock_guard lock(mutex_);
  if (tasks_.empty()) return false;
  task = std::move(tasks_.front());
  tasks_.pop_front();
  return true;
}

std::size_t DispatchQueue::drain() {
  std::size_t ran = 0;
  Task task;
  while (takeNext(task)) {
    if (task) task();
    task = nullptr;
    ++ran;
  }
  return ran;
}

}  // namespace brisklane
