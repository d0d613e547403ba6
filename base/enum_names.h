// An enum's names, declared once beside it as a table indexed by value:
//
//   enum class Verdict { ok, info, warning, problem };
//   template <>
//   inline constexpr auto enumNames<Verdict> =
//       namesThrough<Verdict::problem>({"ok", "info", "warning", "problem"});
//
// `name(value)` and `named<Enum>(text)` then come from the templates below,
// for every such enum alike. `namesThrough` refuses, at compile time, a table
// that does not have one entry for each value up to the last case; an empty
// entry stands for a value that is no case (as between the bits of a mask).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>

namespace brisklane {

template <typename Enum>
inline constexpr std::array<std::string_view, 0> enumNames{};

template <auto last, std::size_t count>
[[nodiscard]] constexpr std::array<std::string_view, count> namesThrough(
    const std::string_view (&names)[count]) {
  static_assert(std::is_enum_v<decltype(last)>);
  static_assert(count == static_cast<std::size_t>(last) + 1,
                "one name for each value up to the last case");
  std::array<std::string_view, count> table{};
  for (std::size_t index = 0; index < count; ++index) table[index] = names[index];
  return table;
}

template <typename Enum>
concept NamedEnum = std::is_enum_v<Enum> && !enumNames<Enum>.empty();

// The case's name; empty for a value that is no case.
template <NamedEnum Enum>
[[nodiscard]] constexpr std::string_view name(Enum value) {
  const auto index = static_cast<std::size_t>(value);
  return index < enumNames<Enum>.size() ? enumNames<Enum>[index] : std::string_view{};
}

// The case named `text`; nothing when no case has that name.
template <NamedEnum Enum>
[[nodiscard]] constexpr std::optional<Enum> named(std::string_view text) {
  for (std::size_t index = 0; index < enumNames<Enum>.size(); ++index) {
    if (!text.empty() && enumNames<Enum>[index] == text) return static_cast<Enum>(index);
  }
  return std::nullopt;
}

}  // namespace brisklane
