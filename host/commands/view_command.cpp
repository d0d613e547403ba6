// `view`: the view that a widget's content function returns for one entry,
// evaluated in the requested family, as an indented tree or as JSON.
#include <ostream>
#include <string>

#include "host/commands/host_command.h"
#include "host/commands/view_description.h"
#include "host/commands/widget_choice.h"
#include "platform/foundation/process_info.h"

namespace brisklane {
namespace {

struct ViewOptions {
  WidgetChoiceOptions choice;  // its device unused: a view is not laid out
  bool json = false;
};

void declareViewOptions(CLI::App& command, ViewOptions& options) {
  command.description("Print the view a widget shows for an entry of its provider");
  addEntryChoiceOptions(command, options.choice);
  command.add_flag("--json", options.json, "Print JSON instead of an indented tree");
}

int printView(const HostContext& context, const ViewOptions& options) {
  using Json = nlohmann::ordered_json;
  const auto chosen = chooseEntry(context, options.choice);
  if (!chosen) return reported(context, chosen.reason());
  const auto& [widget, family, entry] = *chosen;
  const View view = evaluated(widget->content(entry), EnvironmentValues{.widgetFamily = family});
  const std::string osVersion = operatingSystemVersion().text();
  const std::string& source = options.choice.source;
  if (options.json) {
    printJson(context.out, Json{{"kind", widget->kind},
                                {"family", name(family)},
                                {"source", source},
                                {"osVersion", osVersion},
                                {"entryDate", entry.date.iso8601()},
                                {"view", viewJson(view)}});
  } else {
    context.out << widget->kind << " in " << name(family) << ", " << source << " entry of "
                << entry.date.iso8601() << ", system " << osVersion << '\n'
                << viewTreeText(view);
  }
  return exitSuccess;
}

}  // namespace

HostCommand addViewCommand(CLI::App& app) {
  return commandWithOptions<ViewOptions>(app, "view", declareViewOptions, printView);
}

}  // namespace brisklane
