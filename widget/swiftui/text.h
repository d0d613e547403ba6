// Texts and fonts. A text is either verbatim (shown as it is) or a
// localizable key with at most one integer argument formatted by "%lld". The
// host resolves a key against the extension's string table; without a
// translation the key itself is shown, its "%lld" replaced by the argument.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "base/enum_names.h"

namespace brisklane {

// `LocalizedStringKey`: the key as written in the code, and its argument
// when the key came from an interpolation such as "+\(n) more".
struct LocalizedStringKey {
  std::string key;
  std::optional<std::int64_t> argument;

  friend bool operator==(const LocalizedStringKey&, const LocalizedStringKey&) = default;
};

struct VerbatimText {
  std::string text;

  friend bool operator==(const VerbatimText&, const VerbatimText&) = default;
};

using TextContent = std::variant<VerbatimText, LocalizedStringKey>;

// Translations by key; each value is a format with the key's "%lld", if any.
using StringTable = std::map<std::string, std::string, std::less<>>;

// The text shown for `content`: verbatim text as it is; a key's translation
// from `table`, else the key, with every "%lld" replaced by the argument in
// decimal digits when there is one.
[[nodiscard]] std::string resolvedText(const TextContent& content, const StringTable& table = {});

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
template <>
inline constexpr auto enumNames<FontWeight> = namesThrough<FontWeight::black>(
    {"ultraLight", "thin", "light", "regular", "medium", "semibold", "bold", "heavy", "black"});

// `Font.Design`; `standard` is the platform's `.default`.
enum class FontDesign { standard, serif, rounded, monospaced };
template <>
inline constexpr auto enumNames<FontDesign> =
    namesThrough<FontDesign::monospaced>({"default", "serif", "rounded", "monospaced"});

// `Font.system(size:weight:design:)`: the host's system font. An absent weight
// means none was given, which the host draws as regular.
struct Font {
  double size = 17;  // points
  std::optional<FontWeight> weight;
  FontDesign design = FontDesign::standard;

  [[nodiscard]] static Font system(double size, std::optional<FontWeight> weight = std::nullopt,
                                   FontDesign design = FontDesign::standard) {
    return Font{.size = size, .weight = weight, .design = design};
  }

  friend bool operator==(const Font&, const Font&) = default;
};

}  // namespace brisklane
