// The widget host's vocabulary as the extension sees it: families, timeline
// entries and reload policies, the provider context, and the completion that
// a provider calls exactly once. The desktop host in host/ implements the
// other side; nothing here knows about it.
#pragma once

#include <array>
#include <cassert>
#include <functional>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/enum_names.h"
#include "platform/foundation/date.h"

namespace brisklane {

enum class WidgetFamily { systemSmall, systemMedium, accessoryCircular, accessoryInline };
template <>
inline constexpr auto enumNames<WidgetFamily> = namesThrough<WidgetFamily::accessoryInline>(
    {"systemSmall", "systemMedium", "accessoryCircular", "accessoryInline"});

inline constexpr std::array allWidgetFamilies{WidgetFamily::systemSmall, WidgetFamily::systemMedium,
                                              WidgetFamily::accessoryCircular,
                                              WidgetFamily::accessoryInline};

[[nodiscard]] constexpr std::optional<WidgetFamily> widgetFamilyNamed(std::string_view text) {
  return named<WidgetFamily>(text);
}

// `.after(date)`: ask again no earlier than `date`; `.never`: only on a reload
// request.
class TimelineReloadPolicy {
 public:
  [[nodiscard]] static TimelineReloadPolicy after(Date date) { return TimelineReloadPolicy(date); }
  [[nodiscard]] static TimelineReloadPolicy never() { return TimelineReloadPolicy(std::nullopt); }

  // The moment of `.after`, nothing for `.never`.
  [[nodiscard]] const std::optional<Date>& reloadMoment() const { return reloadMoment_; }

  friend bool operator==(const TimelineReloadPolicy&, const TimelineReloadPolicy&) = default;

 private:
  explicit TimelineReloadPolicy(std::optional<Date> moment) : reloadMoment_(moment) {}
  std::optional<Date> reloadMoment_;
};

template <class Entry>
struct Timeline {
  std::vector<Entry> entries;
  TimelineReloadPolicy policy;
};

// What the host tells a provider about the request. No provider of this
// extension reads it.
struct TimelineProviderContext {
  WidgetFamily family = WidgetFamily::systemSmall;
  bool isPreview = false;
};

// A provider's completion: called exactly once, with the rvalue call making
// the hand-over visible at the call site. A second call is a bug.
template <class Value>
class Completion {
 public:
  template <class Function>
  requires std::is_invocable_v<Function&, Value> Completion(Function function)
      : function_(std::move(function)) {}  // NOLINT: implicit on purpose

  void operator()(Value value) && {
    assert(function_ && "completion called twice");
    auto function = std::exchange(function_, nullptr);
    if (function) function(std::move(value));
  }

 private:
  std::function<void(Value)> function_;
};

// The platform's extension entry, supplied by the widget host: it takes over
// the process and answers its exit code.
int NSExtensionMain(int argc, char** argv);

}  // namespace brisklane
