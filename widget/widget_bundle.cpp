#include "widget/widget_bundle.h"

#include "platform/foundation/process_info.h"
#include "widget/palette.h"
#include "widget/today/entry_view.h"
#include "widget/today/gallery_states.h"
#include "widget/voice/entry_view.h"

namespace brisklane {
namespace {

// The one place where an entry becomes a view. The entry view reads its
// family from the host's environment later; the container background is
// attached only on systems that draw one, asked anew on every call.
template <class EntryView>
View content(EntryView entryView, Color containerBackground) {
  View view = environmentReader(std::move(entryView));
  if (isOperatingSystemAtLeast(containerBackgroundVersion)) {
    return view.containerBackground(containerBackground, ContainerBackgroundPlacement::widget);
  }
  return view;
}

}  // namespace

StaticConfiguration<Provider> BrisklaneWidget::body() const {
  return StaticConfiguration<Provider>{
      .kind = kind,
      .provider = Provider{},
      .content =
          [](const TodayEntry& entry) {
            return content(BrisklaneWidgetEntryView{.entry = entry}, backgroundColor());
          },
      .displayName = LocalizedStringKey{.key = "Brisklane \u2014 Today"},
      .description = LocalizedStringKey{.key = "The most urgent tasks due right now."},
      .supportedFamilies = {WidgetFamily::systemSmall, WidgetFamily::systemMedium},
      .galleryStates = todayGalleryStates(),
  };
}

StaticConfiguration<VoiceProvider> VoiceWidget::body() const {
  return StaticConfiguration<VoiceProvider>{
      .kind = kind,
      .provider = VoiceProvider{},
      .content =
          [](const VoiceEntry& entry) {
            return content(VoiceWidgetEntryView{.entry = entry}, Color::clear);
          },
      .displayName = LocalizedStringKey{.key = "Brisklane \u2014 Voice add"},
      .description = LocalizedStringKey{.key = "Tap to add a task by voice."},
      .supportedFamilies = {WidgetFamily::accessoryCircular, WidgetFamily::accessoryInline,
                            WidgetFamily::systemSmall},
      // Every entry renders the same: one state shows them all.
      .galleryStates = {{"timeline", "Its timeline entry", EntrySource::timeline}},
  };
}

std::vector<WidgetConfiguration> BrisklaneWidgetBundle::body() const {
  std::vector<WidgetConfiguration> widgets;
  widgets.push_back(erased(BrisklaneWidget{}.body()));
  widgets.push_back(erased(VoiceWidget{}.body()));
  return widgets;
}

}  // namespace brisklane
