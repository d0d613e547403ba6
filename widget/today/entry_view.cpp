#include "widget/today/entry_view.h"

#include "widget/palette.h"
#include "widget/today/shared_store.h"

namespace brisklane {
namespace {

View styled(Text text, Font font, Color color) {
  return View(std::move(text)).font(font).foregroundColor(color);
}

View header(const std::optional<std::string>& tier, const std::optional<std::int64_t>& count) {
  HStack row{.alignment = VerticalAlignment::firstTextBaseline, .spacing = hostDefault};
  row.children.push_back(styled(Text::verbatim(std::string(tierLabel(tier))),
                                Font::system(12, FontWeight::heavy), tierColor(tier)));
  row.children.push_back(Spacer{.minLength = hostDefault});
  if (count) {
    row.children.push_back(
        styled(Text::key("%lld", *count), Font::system(22, FontWeight::heavy), Color::white));
  }
  return View(std::move(row)).accessibilityIdentifier("header");
}

View message(std::string_view text) {
  return styled(Text::verbatim(std::string(text)), Font::system(13), mutedTextColor())
      .accessibilityIdentifier("message");
}

View taskRow(const TodayItem& item, const std::optional<std::string>& tier, std::size_t number) {
  std::string title = item.title;
  if (item.project) {
    title += projectSeparator;
    title += *item.project;
  }
  return View(HStack{
                  .alignment = VerticalAlignment::center,
                  .spacing = 5,
                  .children = {styled(Text::key("\u2022"), Font::system(12, FontWeight::bold),
                                      tierColor(tier)),
                               styled(Text::verbatim(std::move(title)), Font::system(12),
                                      Color::white)
                                   .lineLimit(1)},
              })
      .accessibilityIdentifier("row " + std::to_string(number));
}

}  // namespace

View BrisklaneWidgetEntryView::body(const EnvironmentValues& environment) const {
  const std::optional<TodayPayload>& payload = entry.payload;
  const std::optional<std::string> tier = payload ? payload->tier : std::nullopt;
  auto rowLimit = [&environment]() -> std::int64_t {
    return environment.widgetFamily == WidgetFamily::systemMedium ? 5 : 3;
  };

  std::optional<std::int64_t> shownCount;
  if (payload && payload->count >= 1) shownCount = payload->count;

  VStack content{.alignment = HorizontalAlignment::leading, .spacing = 6};
  content.children.push_back(header(tier, shownCount));
  if (!payload) {
    content.children.push_back(Spacer{.minLength = 2});
    content.children.push_back(message(linkStatus()));
  } else if (!tier || payload->count < 1) {
    content.children.push_back(Spacer{.minLength = 2});
    content.children.push_back(message(nothingDueMessage));
  } else {
    std::size_t shownRows = std::min(payload->items.size(), std::size_t(rowLimit()));
    for (std::size_t index = 0; index < shownRows; ++index) {
      content.children.push_back(taskRow(payload->items[index], tier, index + 1));
    }
    if (payload->count > rowLimit()) {
      content.children.push_back(styled(Text::key("+%lld more", payload->count - rowLimit()),
                                        Font::system(11), mutedTextColor())
                                     .accessibilityIdentifier("overflow line"));
    }
  }
  content.children.push_back(Spacer{.minLength = 0});

  return View(std::move(content))
      .padding(14)
      .frame({.maxWidth = unbounded, .maxHeight = unbounded, .alignment = Alignment::topLeading})
      .background(backgroundColor(), EdgeSet::all())
      .widgetURL(URL::fromString(todayDeepLink));
}

}  // namespace brisklane
