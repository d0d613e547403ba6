// `timeline`: ask a widget's provider for its timeline and print it as JSON.
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "host/commands/host_command.h"
#include "host/home/entry_json.h"

namespace brisklane {

HostCommand addTimelineCommand(CLI::App& app) {
  auto kind = std::make_shared<std::string>("BrisklaneWidget");
  CLI::App* command = app.add_subcommand("timeline", "Print a widget's timeline as JSON");
  command->add_option("--kind", *kind, "The widget's kind")->capture_default_str();
  return HostCommand{
      .subcommand = command,
      .run =
          [kind](const HostContext& context) {
            using Json = nlohmann::ordered_json;
            const auto found = widgetOfKind(context, *kind);
            if (!found) return reported(context, found.reason());
            const WidgetConfiguration* widget = *found;
            std::optional<Timeline<AnyEntry>> timeline;
            widget->getTimeline(TimelineProviderContext{},
                                [&](Timeline<AnyEntry> answer) { timeline = std::move(answer); });
            if (!timeline) {
              context.err << "error: the provider did not call its completion\n";
              return exitFailure;
            }
            Json entries = Json::array();
            for (const AnyEntry& entry : timeline->entries) entries.push_back(entryJson(entry));
            printJson(context.out, Json{{"kind", widget->kind},
                                        {"entries", entries},
                                        {"policy", policyJson(timeline->policy)}});
            return exitSuccess;
          },
  };
}

}  // namespace brisklane
