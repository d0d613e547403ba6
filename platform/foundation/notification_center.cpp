#include "platform/foundation/notification_center.h"

#include <vector>

namespace brisklane {

struct NotificationCenter::Observation::Entry {
  std::string name;
  Observer observer;
  bool removed = false;  // under the center's mutex
};

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::Observation::~Observation() {
  std::lock_guard lock(center_.mutex_);
  entry_->removed = true;
  center_.entries_.remove(entry_);
}

std::unique_ptr<NotificationCenter::Observation> NotificationCenter::addObserver(
    std::string name, Observer observer) {
  auto entry = std::make_shared<Observation::Entry>(
      Observation::Entry{.name = std::move(name), .observer = std::move(observer)});
  std::lock_guard lock(mutex_);
  entries_.push_back(entry);
  return std::unique_ptr<Observation>(new Observation(*this, std::move(entry)));
}

void NotificationCenter::post(std::string_view name) {
  std::vector<std::shared_ptr<Observation::Entry>> hearing;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
      if (entry->name == name) hearing.push_back(entry);
    }
  }
  for (const auto& entry : hearing) {
    bool removed = false;
    {
      std::lock_guard lock(mutex_);
      removed = entry->removed;
    }
    // One that an earlier observer of this post removed hears nothing more.
    if (!removed) entry->observer();
  }
}

}  // namespace brisklane
