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
  if (!decoded) return std::nullopt;
  return std::move(decoded).value();
}

std::string_view linkStatus() {
  std::optional<UserDefaults> store = UserDefaults::open(appGroupIdentifier);
  if (!store) return noAppGroupMessage;
  if (!store->string(diagKey)) return appCannotShareMessage;
  return linkedMessage;
}

}  // namespace brisklane
