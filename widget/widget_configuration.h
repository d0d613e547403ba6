// Widget declarations and the bundle entry, as the widget host sees them.
//
// A widget's body answers a `StaticConfiguration` for its provider type: the
// kind, the provider, the content function (one entry in, one view out), the
// texts and the families offered. The host holds every widget the same way,
// as a `WidgetConfiguration` whose entries travel as `AnyEntry`.
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
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/date.h"
#include "widget/swiftui/text.h"
#include "widget/swiftui/view.h"
#include "widget/widget_kit.h"

namespace brisklane {

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
  std::vector<WidgetFamily> supportedFamilies;  // in the order the gallery offers them
};

// A provider's entry of any widget: its date, and the entry itself, which
// only that widget's own content function (and diagnostics) look into.
struct AnyEntry {
  Date date;
  std::any value;
};

struct WidgetConfiguration {
  std::string kind;
  LocalizedStringKey displayName;
  LocalizedStringKey description;
  std::vector<WidgetFamily> supportedFamilies;
  std::function<AnyEntry(const TimelineProviderContext&)> placeholder;
  std::function<void(const TimelineProviderContext&, Completion<AnyEntry>)> getSnapshot;
  std::function<void(const TimelineProviderContext&, Completion<Timeline<AnyEntry>>)> getTimeline;
  // Called only with entries of this widget's own provider.
  std::function<View(const AnyEntry&)> content;
};

template <class Entry>
[[nodiscard]] AnyEntry anyEntry(Entry entry) {
  Date date = entry.date;
  return AnyEntry{.date = date, .value = std::move(entry)};
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
