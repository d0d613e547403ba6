// The desktop widget host: the stand-in for the phone's widget host that the
// extension hands control to. It reads its command line, asks the providers
// and prints what they answer.
#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/foundation/process_info.h"
#include "widget/today/payload_json.h"
#include "widget/today/provider.h"
#include "widget/widget_kit.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

Json policyJson(const TimelineReloadPolicy& policy) {
  if (const auto& moment = policy.reloadMoment()) {
    return Json{{"kind", "after"}, {"date", moment->iso8601()}};
  }
  return Json{{"kind", "never"}};
}

Json todayEntryJson(const TodayEntry& entry) {
  return Json{{"date", entry.date.iso8601()},
              {"payload", entry.payload ? payloadJson(*entry.payload) : Json(nullptr)}};
}

int printTodayTimeline() {
  std::optional<Timeline<TodayEntry>> timeline;
  Provider{}.getTimeline(TimelineProviderContext{},
                         [&](Timeline<TodayEntry> answer) { timeline = std::move(answer); });
  if (!timeline) {
    std::cerr << "error: the provider did not call its completion\n";
    return 1;
  }
  Json entries = Json::array();
  for (const TodayEntry& entry : timeline->entries) entries.push_back(todayEntryJson(entry));
  Json document{
      {"kind", "BrisklaneWidget"}, {"entries", entries}, {"policy", policyJson(timeline->policy)}};
  std::cout << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return 0;
}

}  // namespace

int NSExtensionMain(int argc, char** argv) {
  CLI::App app{"The desktop widget host of the Brisklane widget extension."};
  app.require_subcommand(1);
  std::string osVersion;
  app.add_option(
      "--os-version", osVersion,
      "Simulated system version, e.g. 16.4 (default " + defaultOperatingSystemVersion.text() + ")");
  auto* timeline = app.add_subcommand("timeline", "Print the Today widget's timeline as JSON");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error);
    return code == 0 ? 0 : 2;
  }
  if (!osVersion.empty()) {
    auto version = OperatingSystemVersion::parse(osVersion);
    if (!version) {
      std::cerr << "error: --os-version: not a version: " << osVersion << '\n';
      return 2;
    }
    setOperatingSystemVersion(*version);
  }
  if (timeline->parsed()) return printTodayTimeline();
  return 2;
}

}  // namespace brisklane
