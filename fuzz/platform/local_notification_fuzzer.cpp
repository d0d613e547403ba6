// Feeds arbitrary bytes to the `LocalNotifications` plug-in as the options
// of a `schedule` call. The decoder must accept or refuse with one of the
// plug-in's codes; what it accepts must have an id within 32 bits, a first
// moment no earlier than the call, and decode the same from the device's
// record as it was kept.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/plugins/local_notification_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisklane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const JSObject options = JSObject::parse(text, nullptr, /*allow_exceptions=*/false);
  if (options.is_discarded()) return 0;
  static const Date now = *Date::fromIso8601("2026-12-10T12:00:00.000Z");
  auto decoded = decodeScheduledNotifications(options, now);
  if (!decoded) {
    if (!decoded.reason().code.starts_with("OS-PLUG-LNOT-")) __builtin_trap();
    return 0;
  }
  NotificationCenterRecord record;
  record.pending = *decoded;
  auto kept = decodeNotificationCenter(encodeNotificationCenter(record));
  if (!kept) __builtin_trap();
  for (const PendingNotification& notification : *decoded) {
    if (notification.moment < now) __builtin_trap();
    auto again = decodeScheduledNotifications(
        JSObject{{"notifications", JSObject::array({notification.notification})}}, now);
    if (!again || (*again)[0].id != notification.id || (*again)[0].moment != notification.moment) {
      __builtin_trap();
    }
  }
  return 0;
}
