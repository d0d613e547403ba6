#include "widget/today/shared_store.h"

#include "platform/foundation/user_defaults.h"
#include "widget/today/app_group.h"

namespace brisklane {

std::variant<TodayPayload, PayloadUnavailable> inspectPayload() {
  using Cause = PayloadUnavailable::Cause;
  std::optional<std::string> text;
  {
    std::optional<UserDefaults> store = UserDefaults::open(appGroupIdentifier);
    if (!store) return PayloadUnavailable{Cause::noStore, std::nullopt};
    text = store->string(todayKey);
  }  // the store is let go before decoding
  if (!text) return PayloadUnavailable{Cause::noValue, std::nullopt};
  auto decoded = decodePayload(*text);
  if (auto* error = std::get_if<PayloadError>(&decoded)) {
    return PayloadUnavailable{Cause::invalid, std::move(*error)};
  }
  return std::get<TodayPayload>(std::move(decoded));
}

std::optional<TodayPayload> loadPayload() {
  auto found = inspectPayload();
  if (auto* payload = std::get_if<TodayPayload>(&found)) return std::move(*payload);
  return std::nullopt;
}

std::string_view linkStatus() {
  std::optional<UserDefaults> store = UserDefaults::open(appGroupIdentifier);
  if (!store) return noAppGroupMessage;
  if (!store->string(diagKey)) return appCannotShareMessage;
  return linkedMessage;
}

}  // namespace brisklane
