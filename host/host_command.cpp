#include "host/host_command.h"

#include <ostream>

namespace brisklane {

const WidgetConfiguration* widgetOfKind(const HostContext& context, std::string_view kind) {
  for (const WidgetConfiguration& widget : context.widgets) {
    if (widget.kind == kind) return &widget;
  }
  context.err << "error: no widget of kind '" << kind << "'; the kinds are: ";
  std::string_view separator;
  for (const WidgetConfiguration& widget : context.widgets) {
    context.err << separator << widget.kind;
    separator = ", ";
  }
  context.err << '\n';
  return nullptr;
}

std::optional<WidgetFamily> offeredFamily(const HostContext& context,
                                          const WidgetConfiguration& widget,
                                          std::string_view familyName) {
  std::optional<WidgetFamily> family = widgetFamilyNamed(familyName);
  for (WidgetFamily offered : widget.supportedFamilies) {
    if (family == offered) return family;
  }
  context.err << "error: " << widget.kind << " is not offered in the family '" << familyName
              << "'; its families are: " << familyNames(widget.supportedFamilies) << '\n';
  return std::nullopt;
}

std::string familyNames(const std::vector<WidgetFamily>& families) {
  std::string names;
  for (WidgetFamily family : families) {
    if (!names.empty()) names += ", ";
    names += name(family);
  }
  return names;
}

std::optional<AnyEntry> providerEntry(const WidgetConfiguration& widget, EntrySource source,
                                      const TimelineProviderContext& context) {
  std::optional<AnyEntry> entry;
  switch (source) {
    case EntrySource::placeholder:
      entry = widget.placeholder(context);
      break;
    case EntrySource::snapshot:
      widget.getSnapshot(context, [&entry](AnyEntry answer) { entry = std::move(answer); });
      break;
    case EntrySource::timeline:
      widget.getTimeline(context, [&entry](Timeline<AnyEntry> timeline) {
        if (!timeline.entries.empty()) entry = std::move(timeline.entries.front());
      });
      break;
  }
  return entry;
}

void printJson(std::ostream& out, const nlohmann::ordered_json& json) {
  out << json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace brisklane
