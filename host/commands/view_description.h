// A view tree written out for people and scripts: as JSON (the stable form
// documented in the README under "View trees as JSON") and as an indented
// text tree. Both write the tree as it is, one node per line or object,
// modifiers included; evaluate environment readers first to see what the
// host draws.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "widget/swiftui/view.h"

namespace brisklane {

[[nodiscard]] nlohmann::ordered_json colorJson(const Color& color);
[[nodiscard]] nlohmann::ordered_json viewJson(const View& view, const StringTable& table = {});

// One node per line, children indented by two spaces, e.g.
//   padding edges=all length=14
//     Text verbatim "URGENT"
[[nodiscard]] std::string viewTreeText(const View& view, const StringTable& table = {});

}  // namespace brisklane
