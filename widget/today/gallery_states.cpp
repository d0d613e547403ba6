#include "widget/today/gallery_states.h"

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "platform/foundation/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"
#include "widget/today/payload.h"

namespace brisklane {
namespace {

// What App's plug-in leaves when it loads, at a fixed moment so that every
// gallery is drawn alike.
constexpr std::string_view loadedStamp = "loaded @1765000000";

bool storeHolds(std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  auto store = UserDefaults::open(appGroupIdentifier);
  if (!store) return false;
  for (const auto& [key, value] : values) {
    if (!store->set(value, key)) return false;
  }
  return true;
}

// A file where the App Group folders would go: the store cannot be opened.
bool appGroupFoldersBlocked() {
  std::ofstream blocker(appGroupContainer(appGroupIdentifier).parent_path());
  return blocker.good();
}

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
std::function<bool()> published(const TodayPayload& payload) {
  return [json = encodePayload(payload)] {
    return storeHolds({{diagKey, loadedStamp}, {todayKey, json}});
  };
}

}  // namespace

std::vector<GalleryState> todayGalleryStates() {
  return {
      {"placeholder", "Placeholder", EntrySource::placeholder, {}},
      {"no-app-group", "No payload: the store cannot be opened", EntrySource::timeline,
       appGroupFoldersBlocked},
      {"app-cannot-share", "No payload: the app never loaded its plug-in", EntrySource::timeline,
       [] { return storeHolds({}); }},
      {"linked", "No payload: the app is linked, the summary is invalid", EntrySource::timeline,
       [] {
         return storeHolds({{diagKey, loadedStamp}, {todayKey, "{not json"}});
       }},
      {"nothing-due", "Nothing due (count 0)", EntrySource::timeline,
       published(summary("urgent", 0, 2))},
      {"important", "Important, 2 due", EntrySource::timeline,
       published(summary("important", 2, 2))},
      {"overflow", "Urgent, 10 due, 7 listed (overflow)", EntrySource::timeline,
       published(summary("urgent", 10, 7))},
      {"long-title", "A very long title", EntrySource::timeline,
       published(summary("urgent", 1, 1,
                         "Prepare the quarterly report for the board meeting with every appendix "
                         "and the revised budget"))},
  };
}

}  // namespace brisklane
