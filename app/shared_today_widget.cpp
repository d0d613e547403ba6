#include "app/shared_today_widget.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/dispatch/dispatch_queue.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

constexpr OperatingSystemVersion inspectableWebViewVersion{16, 4, 0};

// Seconds as a signed 64-bit count, cut toward zero. A clock outside that
// range (or not a number) is held at the nearest end rather than left to
// undefined conversion.
std::int64_t wholeSeconds(double seconds) {
  constexpr double limit = 9223372036854775808.0;  // 2^63
  if (std::isnan(seconds)) return 0;
  if (seconds >= limit) return std::numeric_limits<std::int64_t>::max();
  if (seconds <= -limit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(seconds);
}

}  // namespace

std::string diagnosticTimeStamp(Date moment) {
  return "loaded @" + std::to_string(wholeSeconds(moment.timeIntervalSince1970()));
}

SharedTodayWidget::SharedTodayWidget() : CAPPlugin() {}

SharedTodayWidget::SharedTodayWidget(std::weak_ptr<CAPBridge> bridge, std::string pluginId,
                                     std::string pluginName)
    : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

void SharedTodayWidget::load() {
  if (isOperatingSystemAtLeast(inspectableWebViewVersion)) {
    DispatchQueue::main().async([self = shared_from_this()] {
      auto bridge = self->bridge();
      if (!bridge) return;
      auto webView = bridge->webView();
      if (!webView) return;
      webView->isInspectable = true;
    });
  }
  if (auto defaults = UserDefaults::open(appGroupIdentifier)) {
    defaults->set(diagnosticTimeStamp(Date::now()), diagKey);
  }
}

void SharedTodayWidget::set(CAPPluginCall call) {
  auto payload = call.getString("payload");
  if (!payload) {
    call.reject(std::string(payloadRequiredMessage));
    return;
  }
  bool stored = false;
  if (auto defaults = UserDefaults::open(appGroupIdentifier)) {
    stored = defaults->set(*payload, todayKey);
  }
  WidgetCenter::shared().reloadAllTimelines();
  call.resolve({{"appGroupOk", stored}});
}

void SharedTodayWidget::status(CAPPluginCall call) {
  bool opened = false;
  bool hasPayload = false;
  std::string diag;
  if (auto defaults = UserDefaults::open(appGroupIdentifier)) {
    opened = true;
    hasPayload = defaults->string(todayKey).has_value();
    diag = defaults->string(diagKey).value_or("");
  }
  call.resolve({{"appGroupOk", opened},
                {"hasPayload", hasPayload},
                {"diag", diag},
                {"group", appGroupIdentifier}});
}

}  // namespace brisklane
