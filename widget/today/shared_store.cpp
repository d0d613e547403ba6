#include "widget/today/shared_store.h"

#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"

namespace brisklane {

std::optional<TodayPayload> loadPayload() {
  std::optional<std::string> text;
  {
    std::optional<UserDefaults> store = UserDefaults::open(appGroupIdentifier);
    if (!store) return std::nullopt;
    text = store->string(todayKey);
  }  // the store is let go before decoding
  if (!text) return std::nullopt;
  auto decoded = decodePayload(*text);
  if (auto* payload = std::get_if<TodayPayload>(&decoded)) return std::move(*payload);
  return std::nullopt;
}

std::string_view linkStatus() {
  std::optional<UserDefaults> store = UserDefaults::open(appGroupIdentifier);
  if (!store) return noAppGroupMessage;
  if (!store->string(diagKey)) return appCannotShareMessage;
  return linkedMessage;
}

}  // namespace brisklane
