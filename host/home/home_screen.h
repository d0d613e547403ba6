// The widget host's home screen: the placed widgets, the timeline each was
// last given, the entry each shows now and its picture.
//
// A round asks providers for the timelines that its schedule (schedule.h)
// names, picks each widget's current entry, evaluates its view and draws
// again only the pictures whose view, device class or format changed since
// they were last drawn. The widgets are served side by side on the drawing
// pool. The host's event loop asks the schedule when the next round is due.
//
// A picture goes to `folder/KIND-FAMILY.png` (or .svg) atomically and stays
// in memory with the number of the round that drew it, its version; the one
// before stays too, so that a page that names either gets exactly that
// picture, never a newer or a partial one. Each round's manifest goes to
// `folder/manifest.json`.
//
// Threads: one thread calls everything here (the host's event loop). Inside
// `runRound` each placed widget is served on the drawing pool, from its
// provider to its picture. The system version is the process's:
// `setSettings` applies it, as the device's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "host/home/drawing_pool.h"
#include "host/home/home_screen_settings.h"
#include "host/home/schedule.h"
#include "host/render/draw.h"
#include "host/render/picture.h"

namespace brisklane {

struct Picture {
  std::uint64_t version = 0;  // the round that drew it
  PictureFormat format = PictureFormat::png;
  std::shared_ptr<const std::string> bytes;
};

// Why an entry lacks its data, in one line, as it stands at the moment of
// asking (the doctor's verdict on the store, passed in by whoever wires the
// host); asked at most once a round.
using MissingDataVerdict = std::function<std::string()>;

class HomeScreen {
 public:
  // Starts with `settings` (see `setSettings`). Problems (a picture or the
  // manifest that cannot be written) go to `err`.
  HomeScreen(const std::vector<WidgetConfiguration>& widgets, const HomeScreenSettings& settings,
             PictureFormat format, std::filesystem::path folder, DrawingPool& pool,
             MissingDataVerdict missingDataVerdict, std::ostream& err);
  ~HomeScreen();
  HomeScreen(const HomeScreen&) = delete;
  HomeScreen& operator=(const HomeScreen&) = delete;

  // Places the widgets the settings name (keeping what the ones placed
  // before already have) and applies the device class and the system version.
  // The next round draws what that changes. The device class must exist.
  void setSettings(const HomeScreenSettings& settings);
  [[nodiscard]] const HomeScreenSettings& settings() const { return settings_; }

  // Runs one round at the clock's present moment and answers its manifest
  // (also `manifest()` until the next).
  const nlohmann::ordered_json& runRound(RoundReason reason);
  [[nodiscard]] const nlohmann::ordered_json& manifest() const { return manifest_; }
  // The manifest as one line of JSON, written once a round for whoever
  // passes it on (standard output, the page's state); empty before the first.
  [[nodiscard]] const std::string& manifestLine() const { return manifestLine_; }

  // When rounds are due and which timelines they ask for; each round tells
  // it the timelines the widgets were given.
  [[nodiscard]] RoundSchedule& schedule() { return schedule_; }
  [[nodiscard]] const RoundSchedule& schedule() const { return schedule_; }

  // The picture of placed widget `id` with `version`, while it is the
  // current one or the one before.
  [[nodiscard]] std::optional<Picture> picture(std::string_view id, std::uint64_t version) const;

  // What placed widget `id` shows in its current picture (layout_report.h),
  // with that picture's "version" first; or why there is none.
  [[nodiscard]] Result<nlohmann::ordered_json> layout(std::string_view id) const;

  // The URL that a tap at `point` (points from the widget's top-left corner)
  // on placed widget `id` opens, or why none does.
  [[nodiscard]] Result<URL> tap(std::string_view id, Point point) const;

  // The identifier of a placement in pictures' names and the page: "KIND-FAMILY".
  [[nodiscard]] static std::string placementIdentifier(const Placement& placement);

 private:
  struct PlacedWidget;
  void showCurrentEntry(PlacedWidget& placed, bool ask, Date now) const;
  // What the schedule needs of the placed widgets' timelines.
  [[nodiscard]] std::vector<ShownTimeline> shownTimelines() const;
  // `storeVerdict`: `missingDataVerdict_`'s answer, asked at most once a
  // round by the first report that needs it.
  [[nodiscard]] nlohmann::ordered_json widgetReport(const PlacedWidget& placed,
                                                    std::optional<std::string>& storeVerdict) const;

  const std::vector<WidgetConfiguration>& widgets_;
  PictureFormat format_;
  std::filesystem::path folder_;
  DrawingPool& pool_;
  MissingDataVerdict missingDataVerdict_;
  std::ostream& err_;
  HomeScreenSettings settings_;
  DeviceClass device_;
  std::vector<PlacedWidget> placed_;
  RoundSchedule schedule_;
  std::uint64_t round_ = 0;
  nlohmann::ordered_json manifest_;
  std::string manifestLine_;
};

}  // namespace brisklane
