// The widget host's schedule of rounds: whether a round is due and why, which
// placed widgets it asks for a timeline, which entry a timeline shows, and
// how long the host may sleep. A plain value: the event loop and the home
// screen tell it what happened (a request to reload all timelines arrived, a
// round began, a round ended with these timelines) and what time it is; it
// reads no clock itself.
//
// Its rules. Requests to reload all timelines that arrive before a round
// begins are served by that one round; one that arrives while a round runs
// makes one more. Otherwise a round is due when a widget's reload moment has
// come (that widget is asked again, with those placed since) or when the
// entry after the one a widget shows has come (nobody is asked; the widget
// shows that entry). A `.never` timeline is asked again only on a request.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/enum_names.h"
#include "platform/foundation/date.h"

namespace brisklane {

// What made a round: the host starting, a request to reload all timelines
// (from the application or the page), a reload moment that has come, an
// entry whose date has come, or a change of the settings.
enum class RoundReason { start, reloadAllTimelines, reloadMoment, entryDate, settings };
template <>
inline constexpr auto enumNames<RoundReason> = namesThrough<RoundReason::settings>(
    {"start", "reloadAllTimelines", "reloadMoment", "entryDate", "settings"});

// The entry that a timeline whose entries have `entryDates` shows at `now`:
// the last one whose date has come, else the first.
[[nodiscard]] std::size_t entryShownAt(const std::vector<Date>& entryDates, Date now);

// What the schedule needs of the timeline a placed widget was given.
struct ShownTimeline {
  std::string id;                    // the placement's, "KIND-FAMILY"
  std::vector<Date> entryDates;      // in the timeline's order
  std::optional<Date> reloadMoment;  // nothing: `.never`
};

// A round as it begins: why, and which placed widgets it asks for a timeline.
struct RoundPlan {
  RoundReason reason = RoundReason::start;
  std::vector<std::string> kept;  // the widgets whose timelines stay; every other one is asked

  [[nodiscard]] bool asks(std::string_view id) const;
};

class RoundSchedule {
 public:
  // The longest sleep, so that a change of the system's clock delays no
  // reload moment for long.
  static constexpr std::chrono::milliseconds longestWait{60'000};

  // A request to reload all timelines arrived.
  void reloadRequested();
  // The widgets placed now are `ids`: the others' timelines are forgotten,
  // so that a widget placed again is asked anew.
  void placementsChanged(const std::vector<std::string>& ids);
  // A round for `reason` begins at `now`. One that asks for every timeline
  // serves the requests that arrived before it.
  [[nodiscard]] RoundPlan roundBegins(RoundReason reason, Date now);
  // The round that began at `now` has ended; `timelines` are those of the
  // placed widgets that have one.
  void roundEnded(std::vector<ShownTimeline> timelines, Date now);

  // Why a round is due at `now`, if one is.
  [[nodiscard]] std::optional<RoundReason> dueAt(Date now) const;
  // The earliest moment at which a round is due by the clock: a reload
  // moment or the date of an entry not yet shown. Nothing when none is.
  [[nodiscard]] std::optional<Date> nextMoment() const;
  // How long the host may sleep from `now` before it asks `dueAt` again;
  // nothing: until it is told something.
  [[nodiscard]] std::optional<std::chrono::milliseconds> wakeAfter(Date now) const;

 private:
  struct Widget {
    std::string id;
    std::optional<Date> reloadMoment;
    std::optional<Date> nextEntryDate;  // of the entry after the one shown
  };

  std::vector<Widget> widgets_;   // the placed widgets that have a timeline
  bool reloadRequested_ = false;  // by a request that no round has served yet
};

}  // namespace brisklane
