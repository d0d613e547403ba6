#include "host/home/entry_json.h"

namespace brisklane {

using Json = nlohmann::ordered_json;

Json entryJson(const AnyEntry& entry) {
  Json json{{"date", entry.date.iso8601()}};
  for (const EntryDetail& detail : entry.details()) {
    // Never anything but JSON; a text that were not would be shown as null.
    json[detail.name] = Json::parse(detail.json, nullptr, false);
    if (json[detail.name].is_discarded()) json[detail.name] = nullptr;
  }
  return json;
}

Json policyJson(const TimelineReloadPolicy& policy) {
  if (const auto& moment = policy.reloadMoment()) {
    return Json{{"kind", "after"}, {"date", moment->iso8601()}};
  }
  return Json{{"kind", "never"}};
}

}  // namespace brisklane
