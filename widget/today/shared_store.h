// The extension's two reads of the shared store: the published summary and
// the status line shown when there is none. Each call opens the store afresh
// and lets it go before returning.
#pragma once

#include <optional>
#include <string_view>

#include "widget/today/payload.h"

namespace brisklane {

// The summary under "today", or nothing on any failure: no store, no value,
// or a document that breaks the wire format. Why there is none is the
// doctor's to tell, with the same decoder.
[[nodiscard]] std::optional<TodayPayload> loadPayload();

inline constexpr std::string_view noAppGroupMessage = "No App Group (widget)";
inline constexpr std::string_view appCannotShareMessage = "App can't share data";
inline constexpr std::string_view linkedMessage = "Linked \u2713 \u2014 reopen app";

// One of the three messages above: the store cannot be opened; it holds no
// "diag"; it holds one.
[[nodiscard]] std::string_view linkStatus();

}  // namespace brisklane
