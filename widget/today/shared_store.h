// The extension's two reads of the shared store: the published summary and
// the status line shown when there is none. Each call opens the store afresh
// and lets it go before returning.
#pragma once

#include <optional>
#include <string_view>
#include <variant>

#include "widget/today/payload.h"

namespace brisklane {

// The summary under "today", or nothing on any failure: no store, no value,
// or a document that breaks the wire format.
[[nodiscard]] std::optional<TodayPayload> loadPayload();

// What `loadPayload` found, with the reason when it found nothing; for the
// diagnostic command. `loadPayload` drops the reason.
struct PayloadUnavailable {
  enum class Cause { noStore, noValue, invalid };
  Cause cause;
  std::optional<PayloadError> error;  // set when `cause` is `invalid`
};
[[nodiscard]] std::variant<TodayPayload, PayloadUnavailable> inspectPayload();

inline constexpr std::string_view noAppGroupMessage = "No App Group (widget)";
inline constexpr std::string_view appCannotShareMessage = "App can't share data";
inline constexpr std::string_view linkedMessage = "Linked \u2713 \u2014 reopen app";

// One of the three messages above: the store cannot be opened; it holds no
// "diag"; it holds one.
[[nodiscard]] std::string_view linkStatus();

}  // namespace brisklane
