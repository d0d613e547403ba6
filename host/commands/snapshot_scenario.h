// A scenario of the `snapshot` command: what the application has published,
// the moment, and the home screen it is shown on.
//
//   {"summary": {...} | "text as published" | null,
//    "now": "2026-12-07T09:00:00Z",
//    "deviceClass": "393x852", "systemVersion": "17.4", "language": "en",
//    "families": ["systemSmall", "systemMedium"]   (every widget offering them)
//    or "placements": [{"kind": ..., "family": ...}]}
//
// Every key may be left out: no summary published, `defaultScenarioMoment`,
// the default device class, the process's system version, and every widget
// in every family it offers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "host/home/home_screen_settings.h"
#include "platform/foundation/date.h"
#include "widget/widget_configuration.h"

namespace brisklane {

inline constexpr std::string_view defaultScenarioMoment = "2026-12-07T09:00:00Z";

struct Scenario {
  std::optional<std::string> summary;  // the store's summary text; none: never published
  Date now;
  HomeScreenSettings home;
};

// The scenario in `json`, or what is wrong with it.
[[nodiscard]] Result<Scenario> decodeScenario(std::string_view json,
                                              const std::vector<WidgetConfiguration>& widgets);

}  // namespace brisklane
