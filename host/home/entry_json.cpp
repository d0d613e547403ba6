#include "host/home/entry_json.h"

namespace brisklane {

using Json = nlohmann::ordered_json;

Json entryJson(const AnyEntry& entry) {
  Json json{{"date", entry.date.iso8601()}};
  Json details = entry.details();
  for (auto& [name, value] : details.items()) json[name] = std::move(value);
  return json;
}

Json policyJson(const TimelineReloadPolicy& policy) {
  if (const auto& moment = policy.reloadMoment()) {
    return Json{{"kind", "after"}, {"date", moment->iso8601()}};
  }
  return Json{{"kind", "never"}};
}

}  // namespace brisklane
