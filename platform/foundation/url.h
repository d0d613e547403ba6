// Foundation's `URL`, as far as the widgets use it: built from a string with
// `URL(string:)`, which gives nothing for text that is not a URI reference.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brisklane {

struct URL {
  std::string absoluteString;

  // `URL(string:)`: nothing when `string` is empty, holds a character that a
  // URI may not hold, has a malformed percent escape, or starts with a
  // malformed scheme.
  [[nodiscard]] static std::optional<URL> fromString(std::string_view string);

  friend bool operator==(const URL&, const URL&) = default;
};

}  // namespace brisklane
