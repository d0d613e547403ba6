#include "host/entry_json.h"

#include "widget/today/payload_json.h"
#include "widget/today/provider.h"

namespace brisklane {

using Json = nlohmann::ordered_json;

Json entryJson(const AnyEntry& entry) {
  Json json{{"date", entry.date.iso8601()}};
  if (const auto* today = std::any_cast<TodayEntry>(&entry.value)) {
    json["payload"] = today->payload ? payloadJson(*today->payload) : Json(nullptr);
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
