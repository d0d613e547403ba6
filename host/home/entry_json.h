// Timeline entries and reload policies as JSON, for the host's output.
#pragma once

#include <nlohmann/json.hpp>

#include "widget/widget_configuration.h"

namespace brisklane {

// {"date": ...} followed by the details the entry gives of itself.
[[nodiscard]] nlohmann::ordered_json entryJson(const AnyEntry& entry);

// {"kind": "after", "date": ...} or {"kind": "never"}.
[[nodiscard]] nlohmann::ordered_json policyJson(const TimelineReloadPolicy& policy);

}  // namespace brisklane
