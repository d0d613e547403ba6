#include "platform/plugins/badge_plugin.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <utility>

#include "platform/plugins/notification_center_calls.h"

namespace brisklane {
namespace {

// The count in the call's options: a whole number from 0 to the largest the
// phone's badge takes (32 bits); nothing otherwise.
std::optional<std::int64_t> requestedCount(const CAPPluginCall& call) {
  const JSObject& options = call.options();
  if (!options.is_object()) return std::nullopt;
  auto count = options.find("count");
  if (count == options.end() || !count->is_number()) return std::nullopt;
  const double value = count->get<double>();
  if (!std::isfinite(value) || value < 0 || value != std::floor(value) ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(value);
}

// Asks for the permission, as changing the number does on the phone, and
// once the user has answered changes it; rejects with why when the device's
// record fails.
void changeBadge(CAPPluginCall call, std::function<std::int64_t(std::int64_t)> change) {
  UNUserNotificationCenter::current().requestAuthorization(
      [call = std::move(call),
       change = std::move(change)](const Result<NotificationPermission>& asked) mutable {
        if (!asked) {
          call.reject(asked.reason());
          return;
        }
        changeNotificationCenterAndAnswer(
            call, [&](NotificationCenterRecord& center) { center.badge = change(center.badge); });
      });
}

}  // namespace

void BadgePlugin::checkPermissions(CAPPluginCall call) {
  answerNotificationPermission(call);
}

void BadgePlugin::requestPermissions(CAPPluginCall call) {
  requestNotificationPermission(std::move(call));
}

void BadgePlugin::get(CAPPluginCall call) {
  answerFromNotificationCenter(call, [](const NotificationCenterRecord& center) {
    return JSObject{{"count", center.badge}};
  });
}

void BadgePlugin::set(CAPPluginCall call) {
  auto count = requestedCount(call);
  if (!count) {
    call.reject(std::string(badgeCountMessage));
    return;
  }
  changeBadge(std::move(call), [count = *count](std::int64_t) { return count; });
}

void BadgePlugin::increase(CAPPluginCall call) {
  changeBadge(std::move(call), [](std::int64_t count) {
    return std::min<std::int64_t>(count + 1, std::numeric_limits<std::int32_t>::max());
  });
}

void BadgePlugin::decrease(CAPPluginCall call) {
  changeBadge(std::move(call), [](std::int64_t count) { return count < 1 ? count : count - 1; });
}

void BadgePlugin::clear(CAPPluginCall call) {
  changeBadge(std::move(call), [](std::int64_t) { return std::int64_t{0}; });
}

void BadgePlugin::isSupported(CAPPluginCall call) {
  call.resolve({{"isSupported", true}});
}

}  // namespace brisklane
