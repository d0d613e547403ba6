#include "platform/dispatch/dispatch_queue.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <utility>

namespace brisklane {

DispatchQueue& DispatchQueue::main() {
  static DispatchQueue queue;
  return queue;
}

// One thread runs the loop: the context need not guard its queue against
// several runners.
DispatchQueue::DispatchQueue() : context_(std::make_unique<boost::asio::io_context>(1)) {}

DispatchQueue::~DispatchQueue() = default;

void DispatchQueue::async(Task task) {
  pending_.fetch_add(1, std::memory_order_relaxed);
  boost::asio::post(*context_, [this, task = std::move(task)] {
    pending_.fetch_sub(1, std::memory_order_relaxed);
    ran_.fetch_add(1, std::memory_order_relaxed);
    if (task) task();
  });
}

void DispatchQueue::stop() {
  boost::asio::post(*context_, [this] { stopWhenIdle(); });
}

// Runs behind every task queued before it; while tasks queued after it are
// still waiting, it queues itself behind them again.
void DispatchQueue::stopWhenIdle() {
  if (pending_.load(std::memory_order_relaxed) == 0) {
    context_->stop();
  } else {
    boost::asio::post(*context_, [this] { stopWhenIdle(); });
  }
}

void DispatchQueue::run() {
  context_->restart();
  // The loop waits for tasks even while no I/O is outstanding.
  auto work = boost::asio::make_work_guard(*context_);
  context_->run();
}

std::size_t DispatchQueue::drain() {
  std::size_t before = ran_.load(std::memory_order_relaxed);
  do {
    context_->restart();  // a stop asked for inside `poll` ends only that pass
  } while (context_->poll() > 0);
  return ran_.load(std::memory_order_relaxed) - before;
}

}  // namespace brisklane
