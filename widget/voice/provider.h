// The Quick-add widget's entry and timeline provider. The widget shows no
// data: every entry is only a date, and the one-entry timeline never asks to
// be reloaded.
#pragma once

#include "platform/foundation/date.h"
#include "widget/widget_kit.h"

namespace brisklane {

struct VoiceEntry {
  Date date;
};

struct VoiceProvider {
  using Entry = VoiceEntry;

  [[nodiscard]] VoiceEntry placeholder(const TimelineProviderContext& context) const;
  void getSnapshot(const TimelineProviderContext& context, Completion<VoiceEntry> completion) const;
  // One entry dated now, policy `never`.
  void getTimeline(const TimelineProviderContext& context,
                   Completion<Timeline<VoiceEntry>> completion) const;
};

}  // namespace brisklane
