#include "platform/usernotifications/user_notification_center.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "platform/device/device_folder.h"
#include "platform/os/files.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

// A record of a device with many notifications is some hundred kilobytes;
// anything much larger is not one.
constexpr std::size_t largestRecord = std::size_t{8} * 1024 * 1024;

std::optional<std::int32_t> notificationId(const Json& entry) {
  auto found = entry.find("id");
  if (found == entry.end() || !found->is_number_integer()) return std::nullopt;
  const auto id = found->get<std::int64_t>();
  if (id < std::numeric_limits<std::int32_t>::min() ||
      id > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(id);
}

std::optional<Date> momentOf(const Json& entry, const char* key) {
  auto found = entry.find(key);
  if (found == entry.end() || !found->is_string()) return std::nullopt;
  return Date::fromIso8601(found->get<std::string>());
}

// Each entry of the list `key`, made a value by `decode`; nothing when the
// list or one of its entries is not what it should be.
template <class Entry, class Decode>
std::optional<std::vector<Entry>> decodeList(const Json& document, const char* key, Decode decode) {
  std::vector<Entry> entries;
  auto found = document.find(key);
  if (found == document.end()) return entries;
  if (!found->is_array()) return std::nullopt;
  for (const Json& entry : *found) {
    if (!entry.is_object()) return std::nullopt;
    auto notification = entry.find("notification");
    if (notification == entry.end() || !notification->is_object()) return std::nullopt;
    std::optional<Entry> decoded = decode(entry, *notification);
    if (!decoded) return std::nullopt;
    entries.push_back(std::move(*decoded));
  }
  return entries;
}

std::optional<PendingNotification> decodePending(const Json& entry, const Json& notification) {
  auto id = notificationId(entry);
  auto moment = momentOf(entry, "moment");
  if (!id || !moment) return std::nullopt;
  return PendingNotification{.id = *id, .moment = *moment, .notification = notification};
}

std::optional<DeliveredNotification> decodeDelivered(const Json& entry, const Json& notification) {
  auto id = notificationId(entry);
  auto moment = momentOf(entry, "deliveredAt");
  if (!id || !moment) return std::nullopt;
  auto heard = entry.find("heard");
  return DeliveredNotification{
      .id = *id,
      .deliveredAt = *moment,
      .notification = notification,
      .heard = heard != entry.end() && heard->is_boolean() && heard->get<bool>()};
}

// The permission, the badge and the action types into `record`; why not,
// when one of them is not what it should be.
std::optional<std::string> decodeSettings(const Json& document, NotificationCenterRecord& record) {
  if (auto found = document.find("permission"); found != document.end()) {
    auto permission = found->is_string() ? named<NotificationPermission>(found->get<std::string>())
                                         : std::nullopt;
    if (!permission) return "permission must be \"prompt\", \"granted\" or \"denied\"";
    record.permission = *permission;
  }
  if (auto found = document.find("permissionAlert"); found != document.end() && !found->is_null()) {
    auto asking = found->is_object() ? found->find("processIdentifier") : found->end();
    if (!found->is_object() || asking == found->end() || !asking->is_number_integer() ||
        asking->get<std::int64_t>() <= 0) {
      return "permissionAlert must be null or {\"processIdentifier\"} with a process id";
    }
    record.permissionAlert = PermissionAlert{.processIdentifier = asking->get<std::int64_t>()};
  }
  if (auto found = document.find("badge"); found != document.end()) {
    if (!found->is_number_integer() || found->get<std::int64_t>() < 0) {
      return "badge must be a whole number, 0 or more";
    }
    record.badge = found->get<std::int64_t>();
  }
  if (auto found = document.find("actionTypes"); found != document.end()) {
    if (!found->is_array()) return "actionTypes must be a list";
    record.actionTypes = *found;
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path notificationCenterPath() {
  return deviceRoot() / "notification-center.json";
}

std::string encodeNotificationCenter(const NotificationCenterRecord& record) {
  Json pending = Json::array(), delivered = Json::array();
  for (const PendingNotification& entry : record.pending) {
    pending.push_back({{"id", entry.id},
                       {"moment", entry.moment.iso8601()},
                       {"notification", entry.notification}});
  }
  for (const DeliveredNotification& entry : record.delivered) {
    delivered.push_back({{"id", entry.id},
                         {"deliveredAt", entry.deliveredAt.iso8601()},
                         {"notification", entry.notification},
                         {"heard", entry.heard}});
  }
  const Json alert = record.permissionAlert
                         ? Json{{"processIdentifier", record.permissionAlert->processIdentifier}}
                         : Json(nullptr);
  const Json document{{"permission", name(record.permission)},
                      {"permissionAlert", alert},
                      {"badge", record.badge},
                      {"actionTypes", record.actionTypes},
                      {"pending", std::move(pending)},
                      {"delivered", std::move(delivered)}};
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Result<NotificationCenterRecord> decodeNotificationCenter(std::string_view json) {
  const Json document = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) {
    return Failure{"the notification centre is not a JSON object"};
  }
  NotificationCenterRecord record;
  if (auto problem = decodeSettings(document, record)) return Failure{*problem};
  auto pending = decodeList<PendingNotification>(document, "pending", decodePending);
  auto delivered = decodeList<DeliveredNotification>(document, "delivered", decodeDelivered);
  if (!pending || !delivered) {
    return Failure{
        "each pending and delivered notification needs an id within 32 bits, its "
        "moment and the notification object"};
  }
  record.pending = std::move(*pending);
  record.delivered = std::move(*delivered);
  sortPending(record.pending);
  return record;
}

Result<NotificationCenterRecord> readNotificationCenter() {
  const std::filesystem::path path = notificationCenterPath();
  auto text = readFile(path, largestRecord);
  if (!text) {
    if (text.reason().error == ENOENT) return NotificationCenterRecord{};
    return Failure{text.reason().message};
  }
  auto record = decodeNotificationCenter(*text);
  if (!record) return Failure{path.string() + ": " + record.reason()};
  return record;
}

Result<NotificationCenterRecord> changeNotificationCenter(
    const std::function<void(NotificationCenterRecord&)>& change) {
  const std::filesystem::path path = notificationCenterPath();
  if (auto made = makeFolders(path.parent_path()); !made) return Failure{made.reason().message};
  auto lock = lockFile(deviceRoot() / "notification-center.lock", LockWait::untilFree);
  if (!lock) return Failure{lock.reason().message};
  auto record = readNotificationCenter();
  if (!record) return record;
  change(*record);
  sortPending(record->pending);
  if (auto written = writeFileAtomically(path, encodeNotificationCenter(*record)); !written) {
    return Failure{written.reason().message};
  }
  return record;
}

void sortPending(std::vector<PendingNotification>& pending) {
  std::stable_sort(pending.begin(), pending.end(),
                   [](const PendingNotification& a, const PendingNotification& b) {
                     return a.moment < b.moment;
                   });
}

}  // namespace brisklane

namespace brisklane {

std::optional<DeliveredNotification> takeDeliveredNotification(std::int32_t id, Answered answered) {
  std::optional<DeliveredNotification> taken;
  auto changed = changeNotificationCenter([&](NotificationCenterRecord& center) {
    auto entry = std::find_if(center.delivered.begin(), center.delivered.end(),
                              [id](const DeliveredNotification& each) { return each.id == id; });
    if (entry == center.delivered.end()) return;
    entry->heard = true;
    taken = *entry;
    if (answered == Answered::yes) center.delivered.erase(entry);
  });
  if (!changed) return std::nullopt;
  return taken;
}

UNUserNotificationCenter& UNUserNotificationCenter::current() {
  static UNUserNotificationCenter center;
  return center;
}

void UNUserNotificationCenter::requestAuthorization(AuthorizationCompletion completion) {
  // A device asked already is only read: every change of the badge asks.
  auto record = readNotificationCenter();
  if (record && record->permission == NotificationPermission::prompt) {
    record = changeNotificationCenter([](NotificationCenterRecord& center) {
      if (center.permission != NotificationPermission::prompt) return;
      center.permissionAlert = PermissionAlert{.processIdentifier = ::getpid()};
    });
  }
  if (!record) {
    completion(Failure{record.reason()});
    return;
  }
  waitingForAuthorization_.push_back(std::move(completion));
  // Answered already: this request, and any that still waits for an answer
  // whose word has not come, completes with it.
  if (record->permission != NotificationPermission::prompt) {
    authorizationAnswered(record->permission);
  }
}

void UNUserNotificationCenter::authorizationAnswered(NotificationPermission answer) {
  // A completion may ask again: it joins the next alert's requests.
  for (const AuthorizationCompletion& completion : std::exchange(waitingForAuthorization_, {})) {
    completion(answer);
  }
}

bool UNUserNotificationCenter::present(std::int32_t id) {
  auto delivered = takeDeliveredNotification(id, Answered::no);
  if (!delivered) return false;
  observers_.notify([&](const Observer& observer) {
    if (observer.willPresent) observer.willPresent(*delivered);
  });
  return true;
}

bool UNUserNotificationCenter::receive(std::int32_t id, std::string actionIdentifier,
                                       std::optional<std::string> userText) {
  auto delivered = takeDeliveredNotification(id, Answered::yes);
  if (!delivered) return false;
  const Response response{.notification = std::move(*delivered),
                          .actionIdentifier = std::move(actionIdentifier),
                          .userText = std::move(userText)};
  observers_.notify([&](const Observer& observer) {
    if (observer.didReceive) observer.didReceive(response);
  });
  return true;
}

}  // namespace brisklane
