#include "host/commands/view_description.h"

#include <cmath>

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

Json lengthJson(const Length& length) {
  if (const auto& points = length.points()) return *points;
  return nullptr;
}

Json maximumJson(const std::optional<MaximumLength>& maximum) {
  if (!maximum) return nullptr;
  if (std::holds_alternative<Unbounded>(*maximum)) return "infinity";
  return std::get<double>(*maximum);
}

std::string alignmentName(const Alignment& alignment) {
  for (auto [value, text] :
       {std::pair{Alignment::topLeading, "topLeading"}, std::pair{Alignment::top, "top"},
        std::pair{Alignment::topTrailing, "topTrailing"}, std::pair{Alignment::leading, "leading"},
        std::pair{Alignment::center, "center"}, std::pair{Alignment::trailing, "trailing"},
        std::pair{Alignment::bottomLeading, "bottomLeading"},
        std::pair{Alignment::bottom, "bottom"},
        std::pair{Alignment::bottomTrailing, "bottomTrailing"}}) {
    if (alignment == value) return text;
  }
  return std::string(name(alignment.horizontal)) + "+" + std::string(name(alignment.vertical));
}

Json edgesJson(EdgeSet edges) {
  Json list = Json::array();
  for (Edge edge : allEdges) {
    if (edges.contains(edge)) list.push_back(name(edge));
  }
  return list;
}

Json fontJson(const Font& font) {
  return Json{{"size", font.size},
              {"weight", font.weight ? Json(name(*font.weight)) : Json(nullptr)},
              {"design", name(font.design)}};
}

Json textJson(const Text& text, const StringTable& table) {
  Json json{{"type", "Text"}};
  if (const auto* verbatim = std::get_if<VerbatimText>(&text.content)) {
    json["verbatim"] = verbatim->text;
  } else {
    const auto& key = std::get<LocalizedStringKey>(text.content);
    json["key"] = key.key;
    json["argument"] = key.argument ? Json(*key.argument) : Json(nullptr);
  }
  json["text"] = resolvedText(text.content, table);
  return json;
}

Json childrenJson(const std::vector<View>& children, const StringTable& table) {
  Json list = Json::array();
  for (const View& child : children) list.push_back(viewJson(child, table));
  return list;
}

// Shortest form that reads back as the same double, whole numbers without a
// fraction: 0.059, 14, 0.5.
std::string number(double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  return Json(value).dump();
}

std::string colorText(const Color& color) {
  if (color == Color::white) return "white";
  if (color == Color::clear) return "clear";
  return "sRGB(" + number(color.red) + ", " + number(color.green) + ", " + number(color.blue) +
         ", opacity " + number(color.opacity) + ")";
}

std::string lengthText(const Length& length) {
  if (const auto& points = length.points()) return number(*points);
  return "default";
}

std::string maximumText(const std::optional<MaximumLength>& maximum) {
  if (!maximum) return "none";
  if (std::holds_alternative<Unbounded>(*maximum)) return "infinity";
  return number(std::get<double>(*maximum));
}

std::string edgesText(EdgeSet edges) {
  if (edges == EdgeSet::all()) return "all";
  if (edges.empty()) return "none";
  std::string text;
  for (Edge edge : allEdges) {
    if (!edges.contains(edge)) continue;
    if (!text.empty()) text += ",";
    text += name(edge);
  }
  return text;
}

std::string fontText(const Font& font) {
  std::string text = "system " + number(font.size);
  text += font.weight ? " " + std::string(name(*font.weight)) : " (no weight)";
  return text + " " + std::string(name(font.design));
}

// JSON string escaping makes control characters and quotes visible.
std::string quoted(const std::string& text) {
  return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string textLine(const Text& text, const StringTable& table) {
  if (const auto* verbatim = std::get_if<VerbatimText>(&text.content)) {
    return "Text verbatim " + quoted(verbatim->text);
  }
  const auto& key = std::get<LocalizedStringKey>(text.content);
  std::string line = "Text key " + quoted(key.key);
  if (key.argument) line += " argument=" + std::to_string(*key.argument);
  return line + " -> " + quoted(resolvedText(text.content, table));
}

template <class Stack>
std::string stackLine(std::string_view kind, const Stack& stack) {
  return std::string(kind) + " alignment=" + std::string(name(stack.alignment)) +
         " spacing=" + lengthText(stack.spacing);
}

std::string frameLine(const FrameModifier& frame) {
  return "frame maxWidth=" + maximumText(frame.options.maxWidth) +
         " maxHeight=" + maximumText(frame.options.maxHeight) +
         " alignment=" + alignmentName(frame.options.alignment);
}

std::string nodeLine(const ViewNode& node, const StringTable& table) {
  return std::visit(
      Overloaded{
          [](const EmptyView&) -> std::string { return "EmptyView"; },
          [&](const Text& text) { return textLine(text, table); },
          [](const Image& image) { return "Image systemName=" + quoted(image.systemName); },
          [](const Label&) -> std::string { return "Label"; },
          [](const ColorFill& fill) { return "Color " + colorText(fill.color); },
          [](const AccessoryWidgetBackground&) -> std::string {
            return "AccessoryWidgetBackground";
          },
          [](const Spacer& spacer) { return "Spacer minLength=" + lengthText(spacer.minLength); },
          [](const VStack& stack) { return stackLine("VStack", stack); },
          [](const HStack& stack) { return stackLine("HStack", stack); },
          [](const ZStack& stack) { return "ZStack alignment=" + alignmentName(stack.alignment); },
          [](const PaddingModifier& padding) {
            return "padding edges=" + edgesText(padding.edges) +
                   " length=" + lengthText(padding.length);
          },
          [](const FrameModifier& frame) { return frameLine(frame); },
          [](const BackgroundModifier& background) {
            return "background " + colorText(background.color) +
                   " ignoresSafeAreaEdges=" + edgesText(background.ignoresSafeAreaEdges);
          },
          [](const FontModifier& font) { return "font " + fontText(font.font); },
          [](const ForegroundColorModifier& color) {
            return "foregroundColor " + colorText(color.color);
          },
          [](const LineLimitModifier& limit) {
            return "lineLimit " + (limit.lines ? std::to_string(*limit.lines) : "none");
          },
          [](const WidgetURLModifier& url) {
            return "widgetURL " + (url.url ? quoted(url.url->absoluteString) : "none");
          },
          [](const ContainerBackgroundModifier& background) {
            return "containerBackground " + colorText(background.color) + " for=widget";
          },
          [](const AccessibilityIdentifierModifier& identifier) {
            return "accessibilityIdentifier " + quoted(identifier.identifier);
          },
          [](const EnvironmentReader& reader) {
            return "EnvironmentReader " + reader.typeName + " (not evaluated)";
          },
      },
      node.kind);
}

void appendTree(std::string& out, const View& view, int depth, const StringTable& table) {
  out.append(std::size_t(depth) * 2, ' ');
  out += nodeLine(view.node(), table);
  out += '\n';
  if (const auto* label = view.as<Label>()) {
    appendTree(out, label->title, depth + 1, table);
    appendTree(out, label->icon, depth + 1, table);
    return;
  }
  if (const View* content = modifiedContent(view.node())) {
    appendTree(out, *content, depth + 1, table);
  }
  for (const View& child : stackChildren(view.node())) appendTree(out, child, depth + 1, table);
}

// --- One node as JSON, by its kind ---

Json nodeJson(const EmptyView&, const StringTable&) {
  return Json{{"type", "EmptyView"}};
}

Json nodeJson(const Text& text, const StringTable& table) {
  return textJson(text, table);
}

Json nodeJson(const Image& image, const StringTable&) {
  return Json{{"type", "Image"}, {"systemName", image.systemName}};
}

Json nodeJson(const Label& label, const StringTable& table) {
  return Json{{"type", "Label"},
              {"title", textJson(label.title, table)},
              {"icon", nodeJson(label.icon, table)}};
}

Json nodeJson(const ColorFill& fill, const StringTable&) {
  return Json{{"type", "Color"}, {"color", colorJson(fill.color)}};
}

Json nodeJson(const AccessoryWidgetBackground&, const StringTable&) {
  return Json{{"type", "AccessoryWidgetBackground"}};
}

Json nodeJson(const Spacer& spacer, const StringTable&) {
  return Json{{"type", "Spacer"}, {"minLength", lengthJson(spacer.minLength)}};
}

// A VStack or an HStack: alike but for the axis their alignment runs along.
template <class Stack>
Json linearStackJson(std::string_view type, const Stack& stack, const StringTable& table) {
  return Json{{"type", type},
              {"alignment", name(stack.alignment)},
              {"spacing", lengthJson(stack.spacing)},
              {"children", childrenJson(stack.children, table)}};
}

Json nodeJson(const VStack& stack, const StringTable& table) {
  return linearStackJson("VStack", stack, table);
}

Json nodeJson(const HStack& stack, const StringTable& table) {
  return linearStackJson("HStack", stack, table);
}

Json nodeJson(const ZStack& stack, const StringTable& table) {
  return Json{{"type", "ZStack"},
              {"alignment", alignmentName(stack.alignment)},
              {"children", childrenJson(stack.children, table)}};
}

// A modifier: its own fields, then the view it modifies as "content".
Json modifierJson(Json fields, const View& content, const StringTable& table) {
  fields["content"] = viewJson(content, table);
  return fields;
}

Json nodeJson(const PaddingModifier& padding, const StringTable& table) {
  return modifierJson({{"type", "padding"},
                       {"edges", edgesJson(padding.edges)},
                       {"length", lengthJson(padding.length)}},
                      padding.content, table);
}

Json nodeJson(const FrameModifier& frame, const StringTable& table) {
  return modifierJson({{"type", "frame"},
                       {"maxWidth", maximumJson(frame.options.maxWidth)},
                       {"maxHeight", maximumJson(frame.options.maxHeight)},
                       {"alignment", alignmentName(frame.options.alignment)}},
                      frame.content, table);
}

Json nodeJson(const BackgroundModifier& background, const StringTable& table) {
  return modifierJson({{"type", "background"},
                       {"color", colorJson(background.color)},
                       {"ignoresSafeAreaEdges", edgesJson(background.ignoresSafeAreaEdges)}},
                      background.content, table);
}

Json nodeJson(const FontModifier& font, const StringTable& table) {
  return modifierJson({{"type", "font"}, {"font", fontJson(font.font)}}, font.content, table);
}

Json nodeJson(const ForegroundColorModifier& color, const StringTable& table) {
  return modifierJson({{"type", "foregroundColor"}, {"color", colorJson(color.color)}},
                      color.content, table);
}

Json nodeJson(const LineLimitModifier& limit, const StringTable& table) {
  return modifierJson(
      {{"type", "lineLimit"}, {"lines", limit.lines ? Json(*limit.lines) : Json(nullptr)}},
      limit.content, table);
}

Json nodeJson(const WidgetURLModifier& url, const StringTable& table) {
  return modifierJson(
      {{"type", "widgetURL"}, {"url", url.url ? Json(url.url->absoluteString) : Json(nullptr)}},
      url.content, table);
}

Json nodeJson(const ContainerBackgroundModifier& background, const StringTable& table) {
  return modifierJson({{"type", "containerBackground"},
                       {"color", colorJson(background.color)},
                       {"placement", "widget"}},
                      background.content, table);
}

Json nodeJson(const AccessibilityIdentifierModifier& identifier, const StringTable& table) {
  return modifierJson({{"type", "accessibilityIdentifier"}, {"identifier", identifier.identifier}},
                      identifier.content, table);
}

Json nodeJson(const EnvironmentReader& reader, const StringTable&) {
  return Json{{"type", "EnvironmentReader"}, {"typeName", reader.typeName}};
}

}  // namespace

Json colorJson(const Color& color) {
  return Json{
      {"red", color.red}, {"green", color.green}, {"blue", color.blue}, {"opacity", color.opacity}};
}

Json viewJson(const View& view, const StringTable& table) {
  return std::visit([&](const auto& node) { return nodeJson(node, table); }, view.node().kind);
}

std::string viewTreeText(const View& view, const StringTable& table) {
  std::string out;
  appendTree(out, view, 0, table);
  return out;
}

}  // namespace brisklane
