// The Quick-add widget's view: a microphone symbol, with the words "Quick
// add" where there is room, opening "brisklane://voice" on a tap. Three
// layouts by family: circular (A), inline (B), and every other family (C).
// The entry's date is never shown, so every entry renders the same.
#pragma once

#include <string_view>

#include "widget/swiftui/view.h"
#include "widget/voice/provider.h"

namespace brisklane {

inline constexpr std::string_view voiceDeepLink = "brisklane://voice";
inline constexpr std::string_view quickAddKey = "Quick add";
inline constexpr std::string_view microphoneSymbol = "mic.fill";

struct VoiceWidgetEntryView {
  static constexpr std::string_view typeName = "VoiceWidgetEntryView";

  // The family is not stored: `body` reads `widgetFamily` from the
  // environment the host evaluates it in.
  VoiceEntry entry;

  [[nodiscard]] View body(const EnvironmentValues& environment) const;
};

}  // namespace brisklane
