// `view`: the view that a widget's content function returns for one entry,
// evaluated in the requested family, as an indented tree or as JSON.
#include <memory>
#include <ostream>
#include <string>

#include "host/host_command.h"
#include "host/view_description.h"
#include "platform/foundation/process_info.h"

namespace brisklane {
namespace {

struct ViewOptions {
  std::string kind;
  std::string family;  // empty: the widget's first family
  std::string source = "timeline";
  bool json = false;
};

}  // namespace

HostCommand addViewCommand(CLI::App& app) {
  auto options = std::make_shared<ViewOptions>();
  CLI::App* command =
      app.add_subcommand("view", "Print the view a widget shows for an entry of its provider");
  command->add_option("--kind", options->kind, "The widget's kind")->required();
  command->add_option("--family", options->family,
                      "A family the widget is offered in (default: its first)");
  command->add_option("--source", options->source, "Where the entry comes from")
      ->check(CLI::IsMember({"placeholder", "snapshot", "timeline"}))
      ->capture_default_str();
  command->add_flag("--json", options->json, "Print JSON instead of an indented tree");
  return HostCommand{
      .subcommand = command,
      .run =
          [options](const HostContext& context) {
            using Json = nlohmann::ordered_json;
            const WidgetConfiguration* widget = widgetOfKind(context, options->kind);
            if (!widget) return exitUsage;
            std::string familyName = options->family;
            if (familyName.empty() && !widget->supportedFamilies.empty()) {
              familyName = name(widget->supportedFamilies.front());
            }
            std::optional<WidgetFamily> family = offeredFamily(context, *widget, familyName);
            if (!family) return exitUsage;
            std::optional<EntrySource> source = named<EntrySource>(options->source);
            if (!source) return exitUsage;  // the option's check lets no other name through

            std::optional<AnyEntry> entry = providerEntry(
                *widget, *source, TimelineProviderContext{.family = *family, .isPreview = false});
            if (!entry) {
              context.err << "error: the provider answered no entry\n";
              return exitFailure;
            }
            View view =
                evaluated(widget->content(*entry), EnvironmentValues{.widgetFamily = *family});
            std::string osVersion = operatingSystemVersion().text();
            if (options->json) {
              printJson(context.out, Json{{"kind", widget->kind},
                                          {"family", name(*family)},
                                          {"source", options->source},
                                          {"osVersion", osVersion},
                                          {"entryDate", entry->date.iso8601()},
                                          {"view", viewJson(view)}});
            } else {
              context.out << widget->kind << " in " << name(*family) << ", " << options->source
                          << " entry of " << entry->date.iso8601() << ", system " << osVersion
                          << '\n'
                          << viewTreeText(view);
            }
            return exitSuccess;
          },
  };
}

}  // namespace brisklane
