// The App Group that both deliverables belong to, and the two keys of its
// store. The application writes both keys; the extension only reads them.
#pragma once

#include <string_view>

namespace brisklane {

inline constexpr std::string_view appGroupIdentifier = "group.app.brisklane.shared";

inline constexpr std::string_view todayKey = "today";  // the summary JSON text, as published
inline constexpr std::string_view diagKey = "diag";    // "loaded @<seconds since 1970>"

}  // namespace brisklane
