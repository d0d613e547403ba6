// Widget declarations and the bundle entry, as the widget host sees them.
//
// A widget's body answers a `StaticConfiguration` for its provider type: the
// kind, the provider, the content function (one entry in, one view out), the
// texts and the families offered. The host holds every widget the same way,
// as a `WidgetConfiguration` whose entries travel as `AnyEntry`, which the
// host never looks into: an entry describes itself (below).
//
// Start-up: the process's `main` calls `NSExtensionMain`, which the host
// supplies; it runs the extension's own entry, `extensionMain`, which calls
// `WidgetBundle<Bundle>::main()`; that hands the bundle's widgets to the host
// through `runWidgetHost`. The host is the only one who defines
// `NSExtensionMain` and `runWidgetHost`; the extension defines
// `extensionMain`. Nothing here knows how the host works.
#pragma once

#include <any>
#include <cassert>
#include <concepts>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/enum_names.h"
#include "platform/foundation/date.h"
#include "widget/swiftui/text.h"
#include "widget/swiftui/view.h"
#include "widget/widget_kit.h"

namespace brisklane {

// Where an entry to show comes from: the provider's placeholder, its
// snapshot, or the first entry of its timeline.
enum class EntrySource { placeholder, snapshot, timeline };
template <>
inline constexpr auto enumNames<EntrySource> =
    namesThrough<EntrySource::timeline>({"placeholder", "snapshot", "timeline"});

// What the application has left in the widget's App Group store when a
// gallery state is drawn: nothing done, a store that cannot be opened (its
// folders blocked), or a store holding `GalleryState::storedValues`.
enum class GalleryStore { untouched, unreachable, holding };

// A state of a widget worth a look in the host's gallery. Each is drawn on a
// fresh simulated device, whose store the host first sets up as `store` says.
struct GalleryState {
  std::string name;     // in file names
  std::string caption;  // on the gallery's page
  EntrySource source;
  GalleryStore store = GalleryStore::untouched;
  std::vector<std::pair<std::string, std::string>> storedValues = {};  // key, value
};

// A provider type names its `Entry` (a record with a `date`) and answers
// `placeholder`, `getSnapshot` and `getTimeline`.
template <class ProviderType>
struct StaticConfiguration {
  using Entry = typename ProviderType::Entry;

  std::string kind;
  ProviderType provider;
  std::function<View(const Entry&)> content;
  LocalizedStringKey displayName;
  LocalizedStringKey description;
  std::vector<WidgetFamily> supportedFamilies;   // in the order the gallery offers them
  std::vector<GalleryState> galleryStates = {};  // in the order the host's gallery shows them
};

// What an entry tells the host about itself, answered by functions declared
// beside its type and found by name:
//   `entryDetails(entry)`: what it carries beyond its date, by name, each
//     as a JSON text (the Today entry's "payload", the summary as App
//     publishes it). Without one, nothing.
//   `missingDataMessage(entry)`: nothing while the entry holds the data its
//     widget exists to show; else the line its view shows instead, read at
//     the moment of asking. Without one, the entry never lacks its data.
struct EntryDetail {
  std::string name;
  std::string json;  // the value as a JSON text: "null" when it has none
};
template <class Entry>
concept EntryWithDetails = requires(const Entry& entry) {
  { entryDetails(entry) } -> std::convertible_to<std::vector<EntryDetail>>;
};
template <class Entry>
concept EntryThatMayLackData = requires(const Entry& entry) {
  { missingDataMessage(entry) } -> std::convertible_to<std::optional<std::string>>;
};

// The answers of one entry type, for entries that travel as `std::any`.
struct EntryDescription {
  std::vector<EntryDetail> (*details)(const std::any& entry);
  std::optional<std::string> (*missingDataMessage)(const std::any& entry);
};

template <class Entry>
inline constexpr EntryDescription entryDescriptionOf{
    .details = [](const std::any& entry) -> std::vector<EntryDetail> {
      if constexpr (EntryWithDetails<Entry>) {
        return entryDetails(std::any_cast<const Entry&>(entry));
      } else {
        return {};
      }
    },
    .missingDataMessage = [](const std::any& entry) -> std::optional<std::string> {
      if constexpr (EntryThatMayLackData<Entry>) {
        return missingDataMessage(std::any_cast<const Entry&>(entry));
      } else {
        return std::nullopt;
      }
    },
};

// A provider's entry of any widget: its date, and the entry itself, which
// only that widget's own content function looks into; everyone else asks it
// to describe itself.
struct AnyEntry {
  Date date;
  std::any value;
  const EntryDescription* description = nullptr;  // nullptr: an entry of only a date

  [[nodiscard]] std::vector<EntryDetail> details() const {
    return description ? description->details(value) : std::vector<EntryDetail>{};
  }
  [[nodiscard]] std::optional<std::string> missingDataMessage() const {
    return description ? description->missingDataMessage(value) : std::nullopt;
  }
};

struct WidgetConfiguration {
  std::string kind;
  LocalizedStringKey displayName;
  LocalizedStringKey description;
  std::vector<WidgetFamily> supportedFamilies;
  std::vector<GalleryState> galleryStates = {};
  std::function<AnyEntry(const TimelineProviderContext&)> placeholder;
  std::function<void(const TimelineProviderContext&, Completion<AnyEntry>)> getSnapshot;
  std::function<void(const TimelineProviderContext&, Completion<Timeline<AnyEntry>>)> getTimeline;
  // Called only with entries of this widget's own provider.
  std::function<View(const AnyEntry&)> content;
};

template <class Entry>
[[nodiscard]] AnyEntry anyEntry(Entry entry) {
  Date date = entry.date;
  return AnyEntry{
      .date = date, .value = std::move(entry), .description = &entryDescriptionOf<Entry>};
}

template <class ProviderType>
[[nodiscard]] WidgetConfiguration erased(StaticConfiguration<ProviderType> configuration) {
  using Entry = typename ProviderType::Entry;
  ProviderType provider = configuration.provider;
  return WidgetConfiguration{
      .kind = std::move(configuration.kind),
      .displayName = std::move(configuration.displayName),
      .description = std::move(configuration.description),
      .supportedFamilies = std::move(configuration.supportedFamilies),
      .galleryStates = std::move(configuration.galleryStates),
      .placeholder =
          [provider](const TimelineProviderContext& context) {
            return anyEntry(provider.placeholder(context));
          },
      .getSnapshot =
          [provider](const TimelineProviderContext& context, Completion<AnyEntry> completion) {
            provider.getSnapshot(context, [&completion](Entry entry) {
              std::move(completion)(anyEntry(std::move(entry)));
            });
          },
      .getTimeline =
          [provider](const TimelineProviderContext& context,
                     Completion<Timeline<AnyEntry>> completion) {
            provider.getTimeline(context, [&completion](Timeline<Entry> timeline) {
              Timeline<AnyEntry> any{.entries = {}, .policy = timeline.policy};
              for (Entry& entry : timeline.entries)
                any.entries.push_back(anyEntry(std::move(entry)));
              std::move(completion)(std::move(any));
            });
          },
      .content = [content = std::move(configuration.content)](const AnyEntry& entry) -> View {
        const Entry* own = std::any_cast<Entry>(&entry.value);
        assert(own && "an entry of another widget");
        if (!own) return View();
        return content(*own);
      },
  };
}

// Supplied by the widget host: takes over with the bundle's widgets, in
// declaration order, and returns when the host is done.
void runWidgetHost(const std::vector<WidgetConfiguration>& widgets);

// `WidgetBundle`: a bundle type derives from it and answers its widgets from
// `body()`; `main()` hands them to the host.
template <class Bundle>
struct WidgetBundle {
  static void main() { runWidgetHost(Bundle{}.body()); }
};

// The extension's own entry, which `NSExtensionMain` runs; defined by the
// extension. Answers 0 once the bundle's `main()` has returned.
int extensionMain();

}  // namespace brisklane
