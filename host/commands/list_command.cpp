// `list`: the bundle's widget declarations, in declaration order.
#include <memory>
#include <ostream>

#include "host/commands/host_command.h"

namespace brisklane {

HostCommand addListCommand(CLI::App& app) {
  auto json = std::make_shared<bool>(false);
  CLI::App* command = app.add_subcommand(
      "list", "List the declared widgets: kind, display name, description, families");
  command->add_flag("--json", *json, "Print JSON instead of text");
  return HostCommand{
      .subcommand = command,
      .run =
          [json](const HostContext& context) {
            using Json = nlohmann::ordered_json;
            if (*json) {
              Json widgets = Json::array();
              for (const WidgetConfiguration& widget : context.widgets) {
                Json families = Json::array();
                for (WidgetFamily family : widget.supportedFamilies)
                  families.push_back(name(family));
                widgets.push_back(Json{{"kind", widget.kind},
                                       {"displayName", resolvedText(widget.displayName)},
                                       {"description", resolvedText(widget.description)},
                                       {"supportedFamilies", families}});
              }
              printJson(context.out, Json{{"widgets", widgets}});
              return exitSuccess;
            }
            for (const WidgetConfiguration& widget : context.widgets) {
              context.out << widget.kind << '\n'
                          << "  display name: " << resolvedText(widget.displayName) << '\n'
                          << "  description:  " << resolvedText(widget.description) << '\n'
                          << "  families:     " << familyNames(widget.supportedFamilies) << '\n';
            }
            return exitSuccess;
          },
  };
}

}  // namespace brisklane
