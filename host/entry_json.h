// Timeline entries and reload policies as JSON, for the host's output.
#pragma once

#include <nlohmann/json.hpp>

#include "widget/widget_configuration.h"

namespace brisklane {

// {"date": ...} plus what the entry carries: the Today entry's "payload"
// (null when absent); the Quick-add entry carries nothing more.
[[nodiscard]] nlohmann::ordered_json entryJson(const AnyEntry& entry);

// {"kind": "after", "date": ...} or {"kind": "never"}.
[[nodiscard]] nlohmann::ordered_json policyJson(const TimelineReloadPolicy& policy);

}  // namespace brisklane
