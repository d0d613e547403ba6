#include "widget/swiftui/view.h"

#include <charconv>

namespace brisklane {
namespace {

const std::shared_ptr<const ViewNode>& emptyNode() {
  static const auto node = std::make_shared<const ViewNode>(ViewNode{EmptyView{}});
  return node;
}

std::vector<View> evaluatedAll(const std::vector<View>& views, const EnvironmentValues& environment,
                               bool& changed) {
  std::vector<View> result;
  result.reserve(views.size());
  for (const View& child : views) {
    result.push_back(evaluated(child, environment));
    if (!result.back().isIdentical(child)) changed = true;
  }
  return result;
}

}  // namespace

View::View() : node_(emptyNode()) {}

View View::padding(Length length) const {
  return padding(EdgeSet::all(), length);
}

View View::padding(EdgeSet edges, Length length) const {
  return PaddingModifier{.content = *this, .edges = edges, .length = length};
}

View View::frame(const FrameOptions& options) const {
  return FrameModifier{.content = *this, .options = options};
}

View View::background(Color color, EdgeSet ignoresSafeAreaEdges) const {
  return BackgroundModifier{
      .content = *this, .color = color, .ignoresSafeAreaEdges = ignoresSafeAreaEdges};
}

View View::font(Font value) const {
  return FontModifier{.content = *this, .font = value};
}

View View::foregroundColor(Color color) const {
  return ForegroundColorModifier{.content = *this, .color = color};
}

View View::lineLimit(std::optional<int> lines) const {
  return LineLimitModifier{.content = *this, .lines = lines};
}

View View::widgetURL(std::optional<URL> url) const {
  return WidgetURLModifier{.content = *this, .url = std::move(url)};
}

View View::containerBackground(Color color, ContainerBackgroundPlacement placement) const {
  return ContainerBackgroundModifier{.content = *this, .color = color, .placement = placement};
}

View View::accessibilityIdentifier(std::string identifier) const {
  return AccessibilityIdentifierModifier{.content = *this, .identifier = std::move(identifier)};
}

bool operator==(const View& left, const View& right) {
  return left.node_ == right.node_ || left.node_->kind == right.node_->kind;
}

const View* modifiedContent(const ViewNode& node) {
  return std::visit(
      [](const auto& kind) -> const View* {
        if constexpr (requires { kind.content; }) {
          if constexpr (std::is_same_v<std::remove_cvref_t<decltype(kind.content)>, View>) {
            return &kind.content;
          }
        }
        return nullptr;
      },
      node.kind);
}

const std::vector<View>& stackChildren(const ViewNode& node) {
  static const std::vector<View> none;
  return std::visit(
      [](const auto& kind) -> const std::vector<View>& {
        if constexpr (requires { kind.children; }) {
          return kind.children;
        } else {
          return none;
        }
      },
      node.kind);
}

std::string_view kindName(const ViewNode& node) {
  return std::visit(
      Overloaded{
          [](const EmptyView&) { return std::string_view("EmptyView"); },
          [](const Text&) { return std::string_view("Text"); },
          [](const Image&) { return std::string_view("Image"); },
          [](const Label&) { return std::string_view("Label"); },
          [](const ColorFill&) { return std::string_view("Color"); },
          [](const AccessoryWidgetBackground&) {
            return std::string_view("AccessoryWidgetBackground");
          },
          [](const Spacer&) { return std::string_view("Spacer"); },
          [](const VStack&) { return std::string_view("VStack"); },
          [](const HStack&) { return std::string_view("HStack"); },
          [](const ZStack&) { return std::string_view("ZStack"); },
          [](const PaddingModifier&) { return std::string_view("padding"); },
          [](const FrameModifier&) { return std::string_view("frame"); },
          [](const BackgroundModifier&) { return std::string_view("background"); },
          [](const FontModifier&) { return std::string_view("font"); },
          [](const ForegroundColorModifier&) { return std::string_view("foregroundColor"); },
          [](const LineLimitModifier&) { return std::string_view("lineLimit"); },
          [](const WidgetURLModifier&) { return std::string_view("widgetURL"); },
          [](const ContainerBackgroundModifier&) {
            return std::string_view("containerBackground");
          },
          [](const AccessibilityIdentifierModifier&) {
            return std::string_view("accessibilityIdentifier");
          },
          [](const EnvironmentReader&) { return std::string_view("EnvironmentReader"); },
      },
      node.kind);
}

View evaluated(const View& view, const EnvironmentValues& environment) {
  return std::visit(
      [&](const auto& kind) -> View {
        using Kind = std::remove_cvref_t<decltype(kind)>;
        if constexpr (std::is_same_v<Kind, EnvironmentReader>) {
          return evaluated((*kind.body)(environment), environment);
        } else if constexpr (requires { kind.children; }) {
          bool changed = false;
          std::vector<View> children = evaluatedAll(kind.children, environment, changed);
          if (!changed) return view;
          Kind copy = kind;
          copy.children = std::move(children);
          return copy;
        } else if constexpr (requires { kind.content; }) {
          if constexpr (std::is_same_v<std::remove_cvref_t<decltype(kind.content)>, View>) {
            View content = evaluated(kind.content, environment);
            if (content.isIdentical(kind.content)) return view;
            Kind copy = kind;
            copy.content = std::move(content);
            return copy;
          } else {
            return view;
          }
        } else {
          return view;
        }
      },
      view.node().kind);
}

std::string resolvedText(const TextContent& content, const StringTable& table) {
  if (const auto* verbatim = std::get_if<VerbatimText>(&content)) return verbatim->text;
  const auto& key = std::get<LocalizedStringKey>(content);
  auto translation = table.find(key.key);
  std::string format = translation != table.end() ? translation->second : key.key;
  if (!key.argument) return format;
  char digits[24];
  auto written = std::to_chars(digits, digits + sizeof digits, *key.argument);
  std::string_view number(digits, std::size_t(written.ptr - digits));
  std::string result;
  constexpr std::string_view specifier = "%lld";
  std::size_t from = 0;
  for (std::size_t at = format.find(specifier); at != std::string::npos;
       at = format.find(specifier, from)) {
    result.append(format, from, at - from);
    result.append(number);
    from = at + specifier.size();
  }
  result.append(format, from);
  return result;
}

}  // namespace brisklane
