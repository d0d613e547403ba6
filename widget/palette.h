// The widget palette and the tier vocabulary. The five colours are
// process-wide constants, each created once on first use (safe when several
// threads get there at once) and never changed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "widget/swiftui/color.h"

namespace brisklane {

[[nodiscard]] const Color& backgroundColor();
[[nodiscard]] const Color& urgentColor();
[[nodiscard]] const Color& importantColor();
[[nodiscard]] const Color& calmColor();
[[nodiscard]] const Color& mutedTextColor();

// "URGENT" for exactly "urgent", "IMPORTANT" for exactly "important", and
// "ALL CLEAR" for anything else, an absent tier included.
[[nodiscard]] std::string_view tierLabel(const std::optional<std::string>& tier);
[[nodiscard]] const Color& tierColor(const std::optional<std::string>& tier);

}  // namespace brisklane
