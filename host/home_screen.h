// The widget host's home screen: the placed widgets, the timeline each was
// last given, the entry each shows now and its picture.
//
// A round asks providers for timelines (every placed widget's when all are to
// be reloaded, otherwise only those whose reload moment has come and those
// placed since), picks each widget's current entry (the last one whose date
// has come), evaluates its view and draws again only the pictures whose
// view, device class or format changed since they were last drawn. The
// widgets are served side by side on the drawing pool.
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
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/draw.h"
#include "host/drawing_pool.h"
#include "host/home_screen_settings.h"
#include "host/picture_output.h"
#include "platform/foundation/enum_names.h"

namespace brisklane {

// What made a round: the host starting, a request to reload all timelines
// (from the application or the page), a reload moment that has come, an
// entry whose date has come, or a change of the settings.
enum class RoundReason { start, reloadAllTimelines, reloadMoment, entryDate, settings };
template <>
inline constexpr auto enumNames<RoundReason> = namesThrough<RoundReason::settings>(
    {"start", "reloadAllTimelines", "reloadMoment", "entryDate", "settings"});

struct Picture {
  std::uint64_t version = 0;  // the round that drew it
  PictureFormat format = PictureFormat::png;
  std::shared_ptr<const std::string> bytes;
};

class HomeScreen {
 public:
  // Starts with `settings` (see `setSettings`). Problems (a picture or the
  // manifest that cannot be written) go to `err`.
  HomeScreen(const std::vector<WidgetConfiguration>& widgets, const HomeScreenSettings& settings,
             PictureFormat format, std::filesystem::path folder, DrawingPool& pool,
             std::ostream& err);
  ~HomeScreen();
  HomeScreen(const HomeScreen&) = delete;
  HomeScreen& operator=(const HomeScreen&) = delete;

  // Places the widgets the settings name (keeping what the ones placed
  // before already have) and applies the device class and the system version.
  // The next round draws what that changes. The device class must exist.
  void setSettings(const HomeScreenSettings& settings);
  [[nodiscard]] const HomeScreenSettings& settings() const { return settings_; }

  // Runs one round and answers its manifest (also `manifest()` until the next).
  const nlohmann::ordered_json& runRound(RoundReason reason);
  [[nodiscard]] const nlohmann::ordered_json& manifest() const { return manifest_; }
  [[nodiscard]] std::uint64_t roundNumber() const { return round_; }

  // The earliest moment at which a round is due by the clock: a reload
  // moment or the date of an entry not yet shown. Nothing when none is.
  [[nodiscard]] std::optional<Date> nextMoment() const;
  // Why a round is due at `now`, if one is.
  [[nodiscard]] std::optional<RoundReason> dueAt(Date now) const;

  // The picture of placed widget `id` with `version`, while it is the
  // current one or the one before.
  [[nodiscard]] std::optional<Picture> picture(std::string_view id, std::uint64_t version) const;

  // The URL that a tap at `point` (points from the widget's top-left corner)
  // on placed widget `id` opens, or why none does.
  [[nodiscard]] std::variant<URL, std::string> tap(std::string_view id, Point point) const;

  // The identifier of a placement in pictures' names and the page: "KIND-FAMILY".
  [[nodiscard]] static std::string placementIdentifier(const Placement& placement);

 private:
  struct PlacedWidget;
  void showCurrentEntry(PlacedWidget& placed, bool ask, Date now) const;
  // `storeVerdict`: the doctor's verdict on the store, made at most once a
  // round by the first report that needs it.
  [[nodiscard]] nlohmann::ordered_json widgetReport(const PlacedWidget& placed,
                                                    std::optional<std::string>& storeVerdict) const;

  const std::vector<WidgetConfiguration>& widgets_;
  PictureFormat format_;
  std::filesystem::path folder_;
  DrawingPool& pool_;
  std::ostream& err_;
  HomeScreenSettings settings_;
  DeviceClass device_;
  std::vector<PlacedWidget> placed_;
  std::uint64_t round_ = 0;
  nlohmann::ordered_json manifest_;
};

}  // namespace brisklane
