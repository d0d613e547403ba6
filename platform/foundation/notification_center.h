// Foundation's `NotificationCenter`, as far as the application's plug-ins
// use it: observers of a notification by name, and posting one. The default
// center is the one the application runtime posts its life-cycle
// notifications to (`UIApplicationDidBecomeActiveNotification`, ...).
//
// Observers run on the posting thread, in the order they were added; an
// observer may add or remove observers while it runs (the ones it adds hear
// the next post, not this one).
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace brisklane {

class NotificationCenter {
 public:
  using Observer = std::function<void()>;

  // Ends its observation when destroyed; must not outlive its center.
  class Observation {
   public:
    ~Observation();
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

   private:
    friend class NotificationCenter;
    struct Entry;
    Observation(NotificationCenter& center, std::shared_ptr<Entry> entry)
        : center_(center), entry_(std::move(entry)) {}
    NotificationCenter& center_;
    std::shared_ptr<Entry> entry_;
  };

  // `NotificationCenter.default`.
  [[nodiscard]] static NotificationCenter& defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  [[nodiscard]] std::unique_ptr<Observation> addObserver(std::string name, Observer observer);
  void post(std::string_view name);

 private:
  mutable std::mutex mutex_;
  std::list<std::shared_ptr<Observation::Entry>> entries_;
};

}  // namespace brisklane
