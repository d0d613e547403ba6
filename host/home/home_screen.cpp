#include "host/home/home_screen.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <utility>

#include "host/home/entry_json.h"
#include "host/snapshot/layout_report.h"
#include "platform/os/files.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

std::vector<Date> entryDates(const Timeline<AnyEntry>& timeline) {
  std::vector<Date> dates;
  dates.reserve(timeline.entries.size());
  for (const AnyEntry& entry : timeline.entries) dates.push_back(entry.date);
  return dates;
}

std::string_view shapeName(WidgetFamily family) {
  switch (family) {
    case WidgetFamily::accessoryCircular:
      return "circle";
    case WidgetFamily::accessoryInline:
      return "line";
    case WidgetFamily::systemSmall:
    case WidgetFamily::systemMedium:
      return "roundedRectangle";
  }
  return "roundedRectangle";
}

// Why an entry lacks its data (a Today entry its summary): what the widget
// shows, and the verdict on the store as it is now (which is what the
// provider found, unless it changed since); nothing for other entries. The
// verdict is asked once a round, by the first entry that needs it.
std::optional<Json> missingSummaryNote(const AnyEntry& entry, const MissingDataVerdict& verdict,
                                       std::optional<std::string>& storeVerdict) {
  std::optional<std::string> shown = entry.missingDataMessage();
  if (!shown) return std::nullopt;
  if (!storeVerdict) storeVerdict = verdict ? verdict() : std::string();
  return Json{{"shown", std::move(*shown)}, {"verdict", *storeVerdict}};
}

}  // namespace

struct HomeScreen::PlacedWidget {
  Placement placement;
  std::string id;
  const WidgetConfiguration* widget = nullptr;  // nullptr: no widget of the placement's kind
  std::optional<WidgetFamily> family;           // nothing: the widget is not offered in it
  std::string unplaceable;                      // why it can never be drawn; empty when it can

  std::optional<Timeline<AnyEntry>> timeline;
  std::uint64_t timelineRound = 0;  // the round that asked for `timeline`
  std::size_t entryIndex = 0;       // the entry shown
  std::string problem;              // why the last round could not show it as it should

  // What the current picture shows, and where.
  std::optional<View> drawnTree;
  std::string_view drawnDevice;
  std::optional<WidgetScene> scene;
  Picture picture;
  Picture previousPicture;
  bool drawnThisRound = false;
  bool pictureWritten = false;  // whether the drawn picture reached its file

  [[nodiscard]] std::optional<Date> reloadMoment() const {
    return timeline ? timeline->policy.reloadMoment() : std::nullopt;
  }
};

HomeScreen::HomeScreen(const std::vector<WidgetConfiguration>& widgets,
                       const HomeScreenSettings& settings, PictureFormat format,
                       std::filesystem::path folder, DrawingPool& pool,
                       MissingDataVerdict missingDataVerdict, std::ostream& err)
    : widgets_(widgets),
      format_(format),
      folder_(std::move(folder)),
      pool_(pool),
      missingDataVerdict_(std::move(missingDataVerdict)),
      err_(err),
      device_(defaultDeviceClass) {
  setSettings(settings);
}

HomeScreen::~HomeScreen() = default;

std::string HomeScreen::placementIdentifier(const Placement& placement) {
  return placement.kind + "-" + placement.family;
}

void HomeScreen::setSettings(const HomeScreenSettings& settings) {
  settings_ = settings;
  device_ = deviceClassNamed(settings.deviceClass).value_or(defaultDeviceClass);
  setOperatingSystemVersion(settings.systemVersion);

  std::vector<PlacedWidget> placed;
  placed.reserve(settings.placements.size());
  for (const Placement& placement : settings.placements) {
    auto kept = std::find_if(placed_.begin(), placed_.end(),
                             [&](const PlacedWidget& old) { return old.placement == placement; });
    if (kept != placed_.end()) {
      placed.push_back(std::move(*kept));
      continue;
    }
    PlacedWidget widget{.placement = placement, .id = placementIdentifier(placement)};
    auto found = std::find_if(widgets_.begin(), widgets_.end(), [&](const WidgetConfiguration& w) {
      return w.kind == placement.kind;
    });
    if (found == widgets_.end()) {
      widget.unplaceable = "no widget of kind '" + placement.kind + "' is installed";
    } else {
      widget.widget = &*found;
      auto family = widgetFamilyNamed(placement.family);
      if (family && std::find(found->supportedFamilies.begin(), found->supportedFamilies.end(),
                              *family) != found->supportedFamilies.end()) {
        widget.family = family;
      } else {
        widget.unplaceable = placement.kind + " is not offered in the family '" + placement.family +
                             "'; its families are: " + familyNames(found->supportedFamilies);
      }
    }
    placed.push_back(std::move(widget));
  }
  placed_ = std::move(placed);
  std::vector<std::string> ids;
  for (const PlacedWidget& widget : placed_) ids.push_back(widget.id);
  schedule_.placementsChanged(ids);
}

// One widget's part of a round, on a thread of the pool: a new timeline when
// asked for, the entry due at `now`, and a new picture when its view, the
// device class or the format differs from what the current picture shows.
void HomeScreen::showCurrentEntry(PlacedWidget& placed, bool ask, Date now) const {
  if (ask) {
    placed.timeline.reset();
    placed.widget->getTimeline(
        TimelineProviderContext{.family = *placed.family, .isPreview = false},
        [&placed](Timeline<AnyEntry> timeline) { placed.timeline = std::move(timeline); });
    placed.timelineRound = round_;
  }
  placed.problem.clear();
  if (!placed.timeline) {
    placed.problem = "the provider answered no timeline";
    return;
  }
  if (placed.timeline->entries.empty()) {
    placed.problem = "the provider answered no entry";
    return;
  }
  placed.entryIndex = entryShownAt(entryDates(*placed.timeline), now);
  View tree = evaluated(placed.widget->content(placed.timeline->entries[placed.entryIndex]),
                        EnvironmentValues{.widgetFamily = *placed.family});
  if (placed.drawnTree && *placed.drawnTree == tree && placed.drawnDevice == device_.name) return;

  WidgetScene scene = makeScene(tree, *placed.family, device_);
  std::optional<std::string> bytes = renderPicture(scene, format_);
  if (!bytes) {
    placed.problem = "the picture could not be drawn";
    return;
  }
  placed.pictureWritten =
      writeFileAtomically(folder_ / (placed.id + std::string(extension(format_))), *bytes).ok();
  placed.previousPicture = std::move(placed.picture);
  placed.picture = Picture{.version = round_,
                           .format = format_,
                           .bytes = std::make_shared<const std::string>(std::move(*bytes))};
  placed.drawnTree = std::move(tree);
  placed.drawnDevice = device_.name;
  placed.scene = std::move(scene);
  placed.drawnThisRound = true;
}

const Json& HomeScreen::runRound(RoundReason reason) {
  ++round_;
  const Date now = Date::now();
  const RoundPlan plan = schedule_.roundBegins(reason, now);

  // Each placed widget is one task on the pool, from its timeline to its
  // picture on disk: providers may be called from any thread and at once,
  // and a task touches only its own widget, so the widgets are served side
  // by side and the slowest picture alone sets the round's length.
  std::vector<std::function<void()>> tasks;
  std::vector<std::string> unwritten(placed_.size());
  for (std::size_t index = 0; index < placed_.size(); ++index) {
    PlacedWidget& placed = placed_[index];
    placed.drawnThisRound = false;
    if (!placed.unplaceable.empty()) continue;
    const bool ask = plan.asks(placed.id);
    tasks.emplace_back([this, &placed, ask, now, &written = unwritten[index]] {
      showCurrentEntry(placed, ask, now);
      if (placed.drawnThisRound && !placed.pictureWritten) {
        written = "error: cannot write the picture of " + placed.id + " in " + folder_.string();
      }
    });
  }
  pool_.runAll(std::move(tasks));
  for (const std::string& problem : unwritten) {
    if (!problem.empty()) err_ << problem << '\n';
  }
  schedule_.roundEnded(shownTimelines(), now);

  Json widgets = Json::array();
  std::optional<std::string> storeVerdict;
  for (const PlacedWidget& placed : placed_) widgets.push_back(widgetReport(placed, storeVerdict));
  const std::optional<Date> next = schedule_.nextMoment();
  manifest_ = Json{{"round", round_},
                   {"reason", name(reason)},
                   {"now", now.iso8601()},
                   {"deviceClass", device_.name},
                   {"systemVersion", settings_.systemVersion.text()},
                   {"format", extension(format_).substr(1)},
                   {"nextMoment", next ? Json(next->iso8601()) : Json(nullptr)},
                   {"widgets", std::move(widgets)}};
  manifestLine_ = manifest_.dump(-1, ' ', false, Json::error_handler_t::replace);
  const std::filesystem::path manifestPath = folder_ / "manifest.json";
  if (!writeFileAtomically(manifestPath,
                           manifest_.dump(2, ' ', false, Json::error_handler_t::replace) + "\n")) {
    err_ << "error: cannot write " << manifestPath.string() << '\n';
  }
  return manifest_;
}

std::vector<ShownTimeline> HomeScreen::shownTimelines() const {
  std::vector<ShownTimeline> timelines;
  for (const PlacedWidget& placed : placed_) {
    if (!placed.timeline) continue;
    timelines.push_back(ShownTimeline{.id = placed.id,
                                      .entryDates = entryDates(*placed.timeline),
                                      .reloadMoment = placed.reloadMoment()});
  }
  return timelines;
}

Json HomeScreen::widgetReport(const PlacedWidget& placed,
                              std::optional<std::string>& storeVerdict) const {
  Json shown{
      {"id", placed.id}, {"kind", placed.placement.kind}, {"family", placed.placement.family}};
  if (placed.family) {
    const Size size = familySize(device_, *placed.family);
    shown["size"] = {{"width", size.width}, {"height", size.height}};
    shown["shape"] = shapeName(*placed.family);
    if (!isAccessory(*placed.family)) shown["cornerRadius"] = device_.widgetCornerRadius;
  }
  if (!placed.unplaceable.empty()) {
    shown["error"] = placed.unplaceable;
    return shown;
  }
  if (!placed.problem.empty()) shown["error"] = placed.problem;
  if (placed.picture.bytes) {
    shown["picture"] = (folder_ / (placed.id + std::string(extension(format_)))).string();
    shown["pictureVersion"] = placed.picture.version;
    shown["drawn"] = placed.drawnThisRound;
  }
  if (placed.timeline) {
    shown["timelineRound"] = placed.timelineRound;
    if (!placed.timeline->entries.empty()) {
      const AnyEntry& entry = placed.timeline->entries[placed.entryIndex];
      shown["entry"] = entryJson(entry);
      if (auto note = missingSummaryNote(entry, missingDataVerdict_, storeVerdict))
        shown["missingSummary"] = std::move(*note);
      shown["entryIndex"] = placed.entryIndex;
      shown["entryCount"] = placed.timeline->entries.size();
    }
    shown["policy"] = policyJson(placed.timeline->policy);
    const auto moment = placed.reloadMoment();
    shown["nextReload"] = moment ? Json(moment->iso8601()) : Json(nullptr);
  }
  if (placed.scene) {
    if (auto region = tapRegion(*placed.scene)) {
      const Rect& bounds = region->bounds;
      shown["tapTarget"] = {{"x", bounds.origin.x},
                            {"y", bounds.origin.y},
                            {"width", bounds.size.width},
                            {"height", bounds.size.height},
                            {"url", region->url.absoluteString}};
    }
  }
  return shown;
}

std::optional<Picture> HomeScreen::picture(std::string_view id, std::uint64_t version) const {
  for (const PlacedWidget& placed : placed_) {
    if (placed.id != id) continue;
    for (const Picture* candidate : {&placed.picture, &placed.previousPicture}) {
      if (candidate->bytes && candidate->version == version) return *candidate;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

Result<Json> HomeScreen::layout(std::string_view id) const {
  for (const PlacedWidget& placed : placed_) {
    if (placed.id != id) continue;
    if (!placed.scene) return Failure{"the widget " + placed.id + " is not drawn"};
    Json report{{"version", placed.picture.version}};
    report.update(layoutReport(placed.placement.kind, *placed.scene));
    return report;
  }
  return Failure{"no widget " + std::string(id) + " is placed"};
}

Result<URL> HomeScreen::tap(std::string_view id, Point point) const {
  for (const PlacedWidget& placed : placed_) {
    if (placed.id != id) continue;
    if (!placed.scene) return Failure{"the widget " + placed.id + " is not drawn"};
    if (auto url = urlAt(*placed.scene, point)) return *url;
    std::ostringstream reason;
    reason << "nothing opens at (" << point.x << ", " << point.y << ") of " << placed.id;
    return Failure{std::move(reason).str()};
  }
  return Failure{"no widget " + std::string(id) + " is placed"};
}

}  // namespace brisklane
