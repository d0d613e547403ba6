#include "platform/uikit/object_runtime.h"

#include <map>
#include <mutex>

namespace brisklane {
namespace {

struct ClassTable {
  std::mutex mutex;
  std::map<std::string, ClassFactory, std::less<>> factories;
};

ClassTable& classTable() {
  static ClassTable table;
  return table;
}

}  // namespace

bool registerClassFactory(std::string_view name, ClassFactory factory) {
  ClassTable& table = classTable();
  std::lock_guard lock(table.mutex);
  return table.factories.emplace(std::string(name), std::move(factory)).second;
}

std::shared_ptr<NSObject> instantiateClass(std::string_view name) {
  ClassFactory factory;
  {
    ClassTable& table = classTable();
    std::lock_guard lock(table.mutex);
    auto found = table.factories.find(name);
    if (found == table.factories.end()) return nullptr;
    factory = found->second;
  }
  return factory();
}

}  // namespace brisklane
