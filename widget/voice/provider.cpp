#include "widget/voice/provider.h"

namespace brisklane {

VoiceEntry VoiceProvider::placeholder(const TimelineProviderContext& /*context*/) const {
  return VoiceEntry{.date = Date::now()};
}

void VoiceProvider::getSnapshot(const TimelineProviderContext& /*context*/,
                                Completion<VoiceEntry> completion) const {
  std::move(completion)(VoiceEntry{.date = Date::now()});
}

void VoiceProvider::getTimeline(const TimelineProviderContext& /*context*/,
                                Completion<Timeline<VoiceEntry>> completion) const {
  std::move(completion)(Timeline<VoiceEntry>{.entries = {VoiceEntry{.date = Date::now()}},
                                             .policy = TimelineReloadPolicy::never()});
}

}  // namespace brisklane
