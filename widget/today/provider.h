// The Today widget's timeline provider. Stateless: every snapshot and
// timeline reads the store once; the placeholder reads nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/date.h"
#include "widget/today/payload.h"
#include "widget/widget_configuration.h"
#include "widget/widget_kit.h"

namespace brisklane {

struct TodayEntry {
  Date date;
  std::optional<TodayPayload> payload;
};

// How a Today entry describes itself to the host (widget_configuration.h):
// its "payload", null when absent; and without one, the status line its view
// shows instead (a store read).
[[nodiscard]] std::vector<EntryDetail> entryDetails(const TodayEntry& entry);
[[nodiscard]] std::optional<std::string> missingDataMessage(const TodayEntry& entry);

// The payload every placeholder shows: tier "urgent", count 3, one item.
[[nodiscard]] const TodayPayload& samplePayload();

struct Provider {
  using Entry = TodayEntry;

  [[nodiscard]] TodayEntry placeholder(const TimelineProviderContext& context) const;
  void getSnapshot(const TimelineProviderContext& context, Completion<TodayEntry> completion) const;
  // One entry dated now; reload 30 minutes after a second clock reading taken
  // once the store has been read.
  void getTimeline(const TimelineProviderContext& context,
                   Completion<Timeline<TodayEntry>> completion) const;
};

}  // namespace brisklane
