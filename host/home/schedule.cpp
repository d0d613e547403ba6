#include "host/home/schedule.h"

#include <algorithm>

namespace brisklane {
namespace {

bool asksEveryTimeline(RoundReason reason) {
  return reason == RoundReason::start || reason == RoundReason::reloadAllTimelines;
}

bool hasCome(const std::optional<Date>& moment, Date now) {
  return moment && *moment <= now;
}

}  // namespace

std::size_t entryShownAt(const std::vector<Date>& entryDates, Date now) {
  std::size_t shown = 0;
  for (std::size_t index = 0; index < entryDates.size(); ++index) {
    if (entryDates[index] <= now) shown = index;
  }
  return shown;
}

bool RoundPlan::asks(std::string_view id) const {
  return std::find(kept.begin(), kept.end(), id) == kept.end();
}

void RoundSchedule::reloadRequested() {
  reloadRequested_ = true;
}

void RoundSchedule::placementsChanged(const std::vector<std::string>& ids) {
  std::erase_if(widgets_, [&ids](const Widget& widget) {
    return std::find(ids.begin(), ids.end(), widget.id) == ids.end();
  });
}

RoundPlan RoundSchedule::roundBegins(RoundReason reason, Date now) {
  RoundPlan plan{.reason = reason, .kept = {}};
  if (asksEveryTimeline(reason)) {
    reloadRequested_ = false;
    return plan;
  }
  for (const Widget& widget : widgets_) {
    if (!hasCome(widget.reloadMoment, now)) plan.kept.push_back(widget.id);
  }
  return plan;
}

void RoundSchedule::roundEnded(std::vector<ShownTimeline> timelines, Date now) {
  widgets_.clear();
  for (ShownTimeline& timeline : timelines) {
    const std::size_t next = entryShownAt(timeline.entryDates, now) + 1;
    widgets_.push_back(Widget{
        .id = std::move(timeline.id),
        .reloadMoment = timeline.reloadMoment,
        .nextEntryDate = next < timeline.entryDates.size()
                             ? std::optional<Date>(timeline.entryDates[next])
                             : std::nullopt,
    });
  }
}

std::optional<RoundReason> RoundSchedule::dueAt(Date now) const {
  if (reloadRequested_) return RoundReason::reloadAllTimelines;
  std::optional<RoundReason> due;
  for (const Widget& widget : widgets_) {
    if (hasCome(widget.reloadMoment, now)) return RoundReason::reloadMoment;
    if (hasCome(widget.nextEntryDate, now)) due = RoundReason::entryDate;
  }
  return due;
}

std::optional<Date> RoundSchedule::nextMoment() const {
  std::optional<Date> earliest;
  auto consider = [&earliest](const std::optional<Date>& moment) {
    if (moment && (!earliest || *moment < *earliest)) earliest = moment;
  };
  for (const Widget& widget : widgets_) {
    consider(widget.reloadMoment);
    consider(widget.nextEntryDate);
  }
  return earliest;
}

std::optional<std::chrono::milliseconds> RoundSchedule::wakeAfter(Date now) const {
  if (reloadRequested_) return std::chrono::milliseconds(0);
  const std::optional<Date> next = nextMoment();
  if (!next) return std::nullopt;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next->instant - now.instant);
  return std::clamp<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0), longestWait);
}

}  // namespace brisklane
