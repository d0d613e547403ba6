#include "host/commands/host_command.h"

#include <ostream>
#include <utility>

namespace brisklane {

Failure<CommandFailure> badUsage(std::string message) {
  return Failure{CommandFailure{.exitCode = exitUsage, .message = std::move(message)}};
}

Failure<CommandFailure> commandFailed(std::string message) {
  return Failure{CommandFailure{.exitCode = exitFailure, .message = std::move(message)}};
}

int reported(const HostContext& context, const CommandFailure& failure) {
  context.err << "error: " << failure.message << '\n';
  return failure.exitCode;
}

CommandResult<const WidgetConfiguration*> widgetOfKind(const HostContext& context,
                                                       std::string_view kind) {
  std::string kinds;
  for (const WidgetConfiguration& widget : context.widgets) {
    if (widget.kind == kind) return &widget;
    kinds += (kinds.empty() ? "" : ", ") + widget.kind;
  }
  return badUsage("no widget of kind '" + std::string(kind) + "'; the kinds are: " + kinds);
}

CommandResult<WidgetFamily> offeredFamily(const WidgetConfiguration& widget,
                                          std::string_view familyName) {
  std::optional<WidgetFamily> family = widgetFamilyNamed(familyName);
  for (WidgetFamily offered : widget.supportedFamilies) {
    if (family == offered) return offered;
  }
  return badUsage(widget.kind + " is not offered in the family '" + std::string(familyName) +
                  "'; its families are: " + familyNames(widget.supportedFamilies));
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
