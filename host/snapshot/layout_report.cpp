#include "host/snapshot/layout_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "widget/palette.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

double rounded(double points) {
  return std::round(points * 100) / 100;
}

Json frameJson(const Rect& frame) {
  return Json{{"x", rounded(frame.origin.x)},
              {"y", rounded(frame.origin.y)},
              {"width", rounded(frame.size.width)},
              {"height", rounded(frame.size.height)}};
}

int byte(double component) {
  return static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 255));
}

struct NamedColor {
  const Color& color;
  std::string_view name;
};

std::string colorName(const Color& color) {
  const std::array<NamedColor, 7> names{{{urgentColor(), "urgent"},
                                         {importantColor(), "important"},
                                         {calmColor(), "calm"},
                                         {backgroundColor(), "background"},
                                         {mutedTextColor(), "muted"},
                                         {Color::white, "white"},
                                         {Color::clear, "clear"}}};
  for (const NamedColor& named : names) {
    if (named.color == color) return std::string(named.name);
  }
  std::array<char, 10> hex{};
  std::snprintf(hex.data(), hex.size(), "#%02x%02x%02x%02x", byte(color.red), byte(color.green),
                byte(color.blue), byte(color.opacity));
  return hex.data();
}

// The identifier of the nearest identified node at or above `index`.
Json regionOf(const LayoutResult& layout, int index) {
  for (int at = index; at >= 0; at = layout.nodes[std::size_t(at)].parent) {
    const ViewNode& node = *layout.nodes[std::size_t(at)].node;
    if (const auto* identified = std::get_if<AccessibilityIdentifierModifier>(&node.kind)) {
      return identified->identifier;
    }
  }
  return nullptr;
}

// Whether the text's lines end in an ellipsis where they were broken.
bool isCut(const TextPlacement& text) {
  return !text.width.isUnbounded() && measureText(text.run, text.width).truncated;
}

Json textJson(const NodeLayout& node, const Json& region, const std::string& color) {
  const TextPlacement& text = *node.text;
  return Json{{"region", region},
              {"text", text.run.text},
              {"frame", frameJson(text.frame)},
              {"font",
               {{"size", node.style.font.size},
                {"weight", name(node.style.font.weight.value_or(FontWeight::regular))}}},
              {"color", color},
              {"lineLimit", node.style.lineLimit ? Json(*node.style.lineLimit) : Json(nullptr)},
              {"cut", isCut(text)}};
}

Json fillJson(const Json& region, const Rect& frame, const std::string& color) {
  return Json{{"region", region}, {"frame", frameJson(frame)}, {"color", color}};
}

struct Collected {
  Json texts = Json::array();
  Json symbols = Json::array();
  Json fills = Json::array();
};

void collect(const LayoutResult& layout, std::size_t index, Collected& into) {
  const NodeLayout& node = layout.nodes[index];
  const Json region = regionOf(layout, int(index));
  const std::string foreground =
      colorName(node.style.foregroundColor.value_or(defaultForegroundColor));
  if (node.text) into.texts.push_back(textJson(node, region, foreground));
  std::visit(Overloaded{
                 [&](const Image& image) {
                   into.symbols.push_back(Json{{"region", region},
                                               {"symbol", image.systemName},
                                               {"frame", frameJson(node.frame)},
                                               {"color", foreground}});
                 },
                 [&](const Label& label) {
                   into.symbols.push_back(Json{{"region", region},
                                               {"symbol", label.icon.systemName},
                                               {"frame", frameJson(node.icon.value_or(node.frame))},
                                               {"color", foreground}});
                 },
                 [&](const ColorFill& fill) {
                   into.fills.push_back(fillJson(region, node.frame, colorName(fill.color)));
                 },
                 [&](const BackgroundModifier& background) {
                   into.fills.push_back(fillJson(region, node.frame, colorName(background.color)));
                 },
                 [&](const ContainerBackgroundModifier& background) {
                   into.fills.push_back(
                       fillJson(region, Rect{{}, layout.canvas}, colorName(background.color)));
                 },
                 [&](const AccessoryWidgetBackground&) {
                   into.fills.push_back(fillJson(region, node.frame, "accessory backdrop"));
                 },
                 [](const auto&) {},
             },
             node.node->kind);
}

}  // namespace

Json layoutReport(std::string_view kind, const WidgetScene& scene) {
  Collected collected;
  for (std::size_t index = 0; index < scene.layout.nodes.size(); ++index) {
    collect(scene.layout, index, collected);
  }
  Json tapTargets = Json::array();
  if (const auto tap = tapRegion(scene)) {
    tapTargets.push_back(Json{{"frame", frameJson(tap->bounds)}, {"url", tap->url.absoluteString}});
  }
  return Json{
      {"kind", kind},
      {"family", name(scene.family)},
      {"deviceClass", scene.device.name},
      {"size", {{"width", scene.layout.canvas.width}, {"height", scene.layout.canvas.height}}},
      {"texts", std::move(collected.texts)},
      {"symbols", std::move(collected.symbols)},
      {"fills", std::move(collected.fills)},
      {"tapTargets", std::move(tapTargets)}};
}

}  // namespace brisklane
