#include "widget/voice/entry_view.h"

#include "widget/palette.h"

namespace brisklane {
namespace {

View microphone(double size) {
  return View(Image{.systemName = std::string(microphoneSymbol)})
      .font(Font::system(size, FontWeight::semibold));
}

// A: the accessory backdrop with the symbol centred on it; the host's
// accessory rendering chooses the symbol's colour.
View circularLayout() {
  return ZStack{.alignment = Alignment::center,
                .children = {AccessoryWidgetBackground{}, microphone(20)}};
}

// B: one line, drawn as the host draws inline accessories.
View inlineLayout() {
  return Label{.title = Text::key(std::string(quickAddKey)),
               .icon = Image{.systemName = std::string(microphoneSymbol)}};
}

// C: the symbol over the words, on the widget's background colour.
View smallLayout() {
  VStack symbolAndWords{
      .alignment = HorizontalAlignment::center,
      .spacing = 6,
      .children = {microphone(34).foregroundColor(Color::white),
                   View(Text::key(std::string(quickAddKey)))
                       .font(Font::system(12, FontWeight::semibold))
                       .foregroundColor(mutedTextColor())},
  };
  return ZStack{.alignment = Alignment::center,
                .children = {ColorFill{backgroundColor()}, std::move(symbolAndWords)}};
}

}  // namespace

View VoiceWidgetEntryView::body(const EnvironmentValues& environment) const {
  std::optional<URL> url = URL::fromString(voiceDeepLink);
  WidgetFamily family = environment.widgetFamily;
  View layout = family == WidgetFamily::accessoryCircular ? circularLayout()
                : family == WidgetFamily::accessoryInline ? inlineLayout()
                                                          : smallLayout();
  return layout.widgetURL(std::move(url));
}

}  // namespace brisklane
