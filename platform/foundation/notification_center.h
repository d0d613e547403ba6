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
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/observers.h"

namespace brisklane {

class NotificationCenter {
 public:
  using Observer = std::function<void()>;

 private:
  struct NamedObserver {
    std::string name;
    Observer observer;
  };

 public:
  // Ends its observation when destroyed; must not outlive its center.
  using Observation = Observers<NamedObserver>::Observation;

  // `NotificationCenter.default`.
  [[nodiscard]] static NotificationCenter& defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  [[nodiscard]] std::unique_ptr<Observation> addObserver(std::string name, Observer observer) {
    return observers_.add({.name = std::move(name), .observer = std::move(observer)});
  }
  void post(std::string_view name) {
    observers_.notify([name](const NamedObserver& named) {
      if (named.name == name) named.observer();
    });
  }

 private:
  Observers<NamedObserver> observers_;
};

}  // namespace brisklane
