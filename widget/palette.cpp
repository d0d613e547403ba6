#include "widget/palette.h"

namespace brisklane {
namespace {

enum class Tier { urgent, important, calm };

Tier tierOf(const std::optional<std::string>& tier) {
  if (tier == "urgent") return Tier::urgent;
  if (tier == "important") return Tier::important;
  return Tier::calm;
}

}  // namespace

const Color& backgroundColor() {
  static const Color color = Color::sRGB(0.059, 0.106, 0.176);
  return color;
}

const Color& urgentColor() {
  static const Color color = Color::sRGB(0.898, 0.282, 0.302);
  return color;
}

const Color& importantColor() {
  static const Color color = Color::sRGB(0.961, 0.651, 0.137);
  return color;
}

const Color& calmColor() {
  static const Color color = Color::sRGB(0.227, 0.431, 0.647);
  return color;
}

const Color& mutedTextColor() {
  static const Color color = Color::sRGB(0.624, 0.702, 0.784);
  return color;
}

std::string_view tierLabel(const std::optional<std::string>& tier) {
  switch (tierOf(tier)) {
    case Tier::urgent:
      return "URGENT";
    case Tier::important:
      return "IMPORTANT";
    case Tier::calm:
      break;
  }
  return "ALL CLEAR";
}

const Color& tierColor(const std::optional<std::string>& tier) {
  switch (tierOf(tier)) {
    case Tier::urgent:
      return urgentColor();
    case Tier::important:
      return importantColor();
    case Tier::calm:
      break;
  }
  return calmColor();
}

}  // namespace brisklane
