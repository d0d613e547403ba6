// The Today widget's view: on the dark background, a header with the tier
// and the count, then the first task rows with an overflow line, or one
// message when there is nothing to list or no summary. A tap anywhere opens
// "brisklane://today".
//
// The view is a function of its entry and of the widget family, which it
// reads from the host's environment each time it is evaluated. For an entry
// without payload it asks `linkStatus` (a store read) at that moment.
#pragma once

#include <string_view>

#include "widget/swiftui/view.h"
#include "widget/today/provider.h"

namespace brisklane {

inline constexpr std::string_view todayDeepLink = "brisklane://today";
inline constexpr std::string_view nothingDueMessage = "Nothing due right now \u2713";
// Between an item's title and its project: two spaces, a middle dot, two spaces.
inline constexpr std::string_view projectSeparator = "  \u00B7  ";

struct BrisklaneWidgetEntryView {
  static constexpr std::string_view typeName = "BrisklaneWidgetEntryView";

  // The family is not stored: `body` reads `widgetFamily` from the
  // environment the host evaluates it in.
  TodayEntry entry;

  [[nodiscard]] View body(const EnvironmentValues& environment) const;
};

}  // namespace brisklane
