#include "widget/today/provider.h"

#include "widget/today/shared_store.h"

namespace brisklane {

const TodayPayload& samplePayload() {
  static const TodayPayload sample{
      .tier = "urgent",
      .count = 3,
      .items = {TodayItem{.title = "Envoyer galerie", .project = "Mariage"}},
      .updatedAt = std::nullopt,
  };
  return sample;
}

std::vector<EntryDetail> entryDetails(const TodayEntry& entry) {
  return {{.name = "payload", .json = entry.payload ? encodePayload(*entry.payload) : "null"}};
}

std::optional<std::string> missingDataMessage(const TodayEntry& entry) {
  if (entry.payload) return std::nullopt;
  return std::string(linkStatus());
}

TodayEntry Provider::placeholder(const TimelineProviderContext& /*context*/) const {
  return TodayEntry{.date = Date::now(), .payload = samplePayload()};
}

void Provider::getSnapshot(const TimelineProviderContext& /*context*/,
                           Completion<TodayEntry> completion) const {
  Date date = Date::now();
  std::move(completion)(TodayEntry{.date = date, .payload = loadPayload()});
}

void Provider::getTimeline(const TimelineProviderContext& /*context*/,
                           Completion<Timeline<TodayEntry>> completion) const {
  TodayEntry entry{.date = Date::now(), .payload = std::nullopt};
  entry.payload = loadPayload();
  Calendar calendar = Calendar::current();
  Date secondReading = Date::now();
  // Adding 30 minutes fails only for a clock at the end of time; the reload is
  // then asked for at that same moment.
  Date reloadMoment =
      calendar.date(CalendarComponent::minute, 30, secondReading).value_or(secondReading);
  std::move(completion)(Timeline<TodayEntry>{.entries = {std::move(entry)},
                                             .policy = TimelineReloadPolicy::after(reloadMoment)});
}

}  // namespace brisklane
