#include "widget/today/gallery_states.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "widget/app_group.h"
#include "widget/today/payload.h"

namespace brisklane {
namespace {

// What App's plug-in leaves when it loads, at a fixed moment so that every
// gallery is drawn alike.
constexpr std::string_view loadedStamp = "loaded @1765000000";

// A summary listing `listed` items of the project "Home", the first titled
// `firstTitle` when one is given.
TodayPayload summary(std::string tier, std::int64_t count, int listed,
                     std::string_view firstTitle = {}) {
  static constexpr std::string_view titles[] = {
      "Call the plumber",  "Renew the passport", "Pay the electricity bill", "Book the dentist",
      "Send the invoices", "Water the plants",   "Pick up the dry cleaning"};
  TodayPayload payload{.tier = std::move(tier), .count = count, .items = {}, .updatedAt = {}};
  for (int index = 0; index < listed; ++index) {
    const std::string_view title =
        index == 0 && !firstTitle.empty() ? firstTitle : titles[index % std::size(titles)];
    payload.items.push_back(TodayItem{.title = std::string(title), .project = "Home"});
  }
  return payload;
}

// App loaded and published `payload`.
GalleryState published(std::string name, std::string caption, const TodayPayload& payload) {
  return {.name = std::move(name),
          .caption = std::move(caption),
          .source = EntrySource::timeline,
          .store = GalleryStore::holding,
          .storedValues = {{std::string(diagKey), std::string(loadedStamp)},
                           {std::string(todayKey), encodePayload(payload)}}};
}

}  // namespace

std::vector<GalleryState> todayGalleryStates() {
  const std::string diag(diagKey);
  const std::string today(todayKey);
  const std::string loaded(loadedStamp);
  return {
      {"placeholder", "Placeholder", EntrySource::placeholder},
      {"no-app-group", "No payload: the store cannot be opened", EntrySource::timeline,
       GalleryStore::unreachable},
      {"app-cannot-share", "No payload: the app never loaded its plug-in", EntrySource::timeline,
       GalleryStore::holding},
      {"linked",
       "No payload: the app is linked, the summary is invalid",
       EntrySource::timeline,
       GalleryStore::holding,
       {{diag, loaded}, {today, "{not json"}}},
      published("nothing-due", "Nothing due (count 0)", summary("urgent", 0, 2)),
      published("important", "Important, 2 due", summary("important", 2, 2)),
      published("overflow", "Urgent, 10 due, 7 listed (overflow)", summary("urgent", 10, 7)),
      published("long-title", "A very long title",
                summary("urgent", 1, 1,
                        "Prepare the quarterly report for the board meeting with every appendix "
                        "and the revised budget")),
  };
}

}  // namespace brisklane
