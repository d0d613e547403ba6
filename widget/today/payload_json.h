// The summary records as a JSON value, for the host's `--json` output and for
// `encodePayload`.
#pragma once

#include <nlohmann/json.hpp>

#include "widget/today/payload.h"

namespace brisklane {

[[nodiscard]] nlohmann::ordered_json payloadJson(const TodayPayload& payload);

}  // namespace brisklane
