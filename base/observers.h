// A list of observers, each of which ends its observation by dropping the
// handle that adding it answered. Safe across threads: observers are called
// on the notifying thread, in the order they were added, outside the lock;
// one that is removed while a notification is under way hears nothing more
// of it, and one that is added hears the next notification, not this one.
#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace brisklane {

template <class Observer>
class Observers {
  struct Entry {
    Observer observer;
    bool removed = false;  // under the list's mutex
  };

 public:
  // Ends its observation when destroyed; must not outlive its list.
  class Observation {
   public:
    ~Observation() {
      std::lock_guard lock(list_.mutex_);
      entry_->removed = true;
      list_.entries_.remove(entry_);
    }
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

   private:
    friend class Observers;
    Observation(Observers& list, std::shared_ptr<Entry> entry)
        : list_(list), entry_(std::move(entry)) {}
    Observers& list_;
    std::shared_ptr<Entry> entry_;
  };

  Observers() = default;
  Observers(const Observers&) = delete;
  Observers& operator=(const Observers&) = delete;

  [[nodiscard]] std::unique_ptr<Observation> add(Observer observer) {
    auto entry = std::make_shared<Entry>(Entry{.observer = std::move(observer)});
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
    return std::unique_ptr<Observation>(new Observation(*this, std::move(entry)));
  }

  // Calls `visit(observer)` for each observer there is now.
  template <class Visit>
  void notify(Visit visit) {
    std::vector<std::shared_ptr<Entry>> hearing;
    {
      std::lock_guard lock(mutex_);
      hearing.assign(entries_.begin(), entries_.end());
    }
    for (const auto& entry : hearing) {
      bool removed = false;
      {
        std::lock_guard lock(mutex_);
        removed = entry->removed;
      }
      if (!removed) visit(entry->observer);
    }
  }

 private:
  std::mutex mutex_;
  std::list<std::shared_ptr<Entry>> entries_;
};

}  // namespace brisklane
