// The view vocabulary: a view is an immutable value tree that the widget's
// views build and the host lays out and draws. Nothing here measures or
// draws; the tree only says what is wanted.
//
// A `View` is a shared pointer to one constant `ViewNode`; copying a view
// copies the pointer, and no node changes after it is made, so trees can be
// shared between threads freely. Each node kind is a public struct, and
// `ViewNodeKind` below is the one list of them. Modifiers are nodes too:
// each holds the view it modifies as `content`, so `Text(...).font(f)` is a
// `FontModifier` whose content is the `Text`. The modifiers that set
// inherited values (`font`, `foregroundColor`, `lineLimit`) apply to every
// text and image below them that does not set its own.
//
// Views that read the environment (`widgetFamily`) are `EnvironmentReader`
// nodes until the host evaluates them: `evaluated(view, environment)` runs
// every reader with the host's environment and gives a tree without readers,
// which is what layout and drawing walk.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/foundation/url.h"
#include "widget/swiftui/color.h"
#include "widget/swiftui/geometry.h"
#include "widget/swiftui/text.h"
#include "widget/widget_kit.h"

namespace brisklane {

struct ViewNode;
struct EmptyView;
struct Text;
struct Image;
struct Label;
struct ColorFill;
struct AccessoryWidgetBackground;
struct Spacer;
struct VStack;
struct HStack;
struct ZStack;
struct PaddingModifier;
struct FrameModifier;
struct BackgroundModifier;
struct FontModifier;
struct ForegroundColorModifier;
struct LineLimitModifier;
struct WidgetURLModifier;
struct ContainerBackgroundModifier;
struct AccessibilityIdentifierModifier;
struct EnvironmentReader;

// The one list of node kinds. A walker visits `view.node().kind` with a
// visitor that handles each of these.
using ViewNodeKind =
    std::variant<EmptyView, Text, Image, Label, ColorFill, AccessoryWidgetBackground, Spacer,
                 VStack, HStack, ZStack, PaddingModifier, FrameModifier, BackgroundModifier,
                 FontModifier, ForegroundColorModifier, LineLimitModifier, WidgetURLModifier,
                 ContainerBackgroundModifier, AccessibilityIdentifierModifier, EnvironmentReader>;

// A visitor made of lambdas, one for each kind a walker handles:
// `std::visit(Overloaded{[](const Text&) {...}, [](const auto&) {...}}, kind)`.
template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

template <class Candidate, class Variant>
inline constexpr bool isAlternativeOf = false;
template <class Candidate, class... Alternatives>
inline constexpr bool isAlternativeOf<Candidate, std::variant<Alternatives...>> =
    (std::is_same_v<Candidate, Alternatives> || ...);

template <class Candidate>
concept ViewNodeType = isAlternativeOf<std::remove_cvref_t<Candidate>, ViewNodeKind>;

// What the host tells a view when it evaluates it.
struct EnvironmentValues {
  WidgetFamily widgetFamily = WidgetFamily::systemSmall;

  friend bool operator==(const EnvironmentValues&, const EnvironmentValues&) = default;
};

enum class ContainerBackgroundPlacement { widget };

struct FrameOptions;

class View {
 public:
  // `EmptyView`.
  View();
  // Any node kind of `ViewNodeKind` is a view.
  template <ViewNodeType Node>
  View(Node node);  // NOLINT: implicit on purpose, as `some View`

  [[nodiscard]] const ViewNode& node() const { return *node_; }
  // The node as kind `Node`, or nullptr when it is of another kind.
  template <class Node>
  [[nodiscard]] const Node* as() const;
  // Whether both are the very same node (not merely equal ones).
  [[nodiscard]] bool isIdentical(const View& other) const { return node_ == other.node_; }

  // Modifiers: each answers a new view whose content is this one.
  [[nodiscard]] View padding(Length length = hostDefault) const;
  [[nodiscard]] View padding(EdgeSet edges, Length length = hostDefault) const;
  [[nodiscard]] View frame(const FrameOptions& options) const;
  [[nodiscard]] View background(Color color, EdgeSet ignoresSafeAreaEdges = EdgeSet::all()) const;
  [[nodiscard]] View font(Font value) const;
  [[nodiscard]] View foregroundColor(Color color) const;
  [[nodiscard]] View lineLimit(std::optional<int> lines) const;
  [[nodiscard]] View widgetURL(std::optional<URL> url) const;
  [[nodiscard]] View containerBackground(Color color, ContainerBackgroundPlacement placement) const;
  [[nodiscard]] View accessibilityIdentifier(std::string identifier) const;

  // Same node, or nodes of the same kind with equal fields and equal
  // children. Environment readers are equal only to themselves.
  friend bool operator==(const View& left, const View& right);

 private:
  std::shared_ptr<const ViewNode> node_;
};

// --- Leaf views ---

struct EmptyView {
  friend bool operator==(const EmptyView&, const EmptyView&) = default;
};

struct Text {
  TextContent content;

  [[nodiscard]] static Text verbatim(std::string text) {
    return Text{VerbatimText{std::move(text)}};
  }
  [[nodiscard]] static Text key(std::string key,
                                std::optional<std::int64_t> argument = std::nullopt) {
    return Text{LocalizedStringKey{std::move(key), argument}};
  }

  friend bool operator==(const Text&, const Text&) = default;
};

// `Image(systemName:)`: a symbol of the platform's set, named as there.
struct Image {
  std::string systemName;

  friend bool operator==(const Image&, const Image&) = default;
};

// A title with an icon; how the two are arranged is the host's.
struct Label {
  Text title;
  Image icon;

  friend bool operator==(const Label&, const Label&) = default;
};

// A `Color` used as a view: fills all the space it is offered.
struct ColorFill {
  Color color;

  friend bool operator==(const ColorFill&, const ColorFill&) = default;
};

// The platform's standard backdrop of accessory families.
struct AccessoryWidgetBackground {
  friend bool operator==(const AccessoryWidgetBackground&,
                         const AccessoryWidgetBackground&) = default;
};

// Flexible space along the axis of the stack it is in; never shorter than
// `minLength`.
struct Spacer {
  Length minLength = hostDefault;

  friend bool operator==(const Spacer&, const Spacer&) = default;
};

// --- Stacks ---

struct VStack {
  HorizontalAlignment alignment = HorizontalAlignment::center;
  Length spacing = hostDefault;  // between adjacent children
  std::vector<View> children;

  friend bool operator==(const VStack&, const VStack&) = default;
};

struct HStack {
  VerticalAlignment alignment = VerticalAlignment::center;
  Length spacing = hostDefault;
  std::vector<View> children;

  friend bool operator==(const HStack&, const HStack&) = default;
};

// Children drawn back to front in order, each placed by `alignment`.
struct ZStack {
  Alignment alignment = Alignment::center;
  std::vector<View> children;

  friend bool operator==(const ZStack&, const ZStack&) = default;
};

// --- Modifiers: `content` is the view modified ---

struct PaddingModifier {
  View content;
  EdgeSet edges = EdgeSet::all();
  Length length = hostDefault;

  friend bool operator==(const PaddingModifier&, const PaddingModifier&) = default;
};

// `frame(maxWidth:maxHeight:alignment:)`: a flexible frame around the content;
// an absent maximum leaves that axis to the content.
struct FrameOptions {
  std::optional<MaximumLength> maxWidth;
  std::optional<MaximumLength> maxHeight;
  Alignment alignment = Alignment::center;

  friend bool operator==(const FrameOptions&, const FrameOptions&) = default;
};

struct FrameModifier {
  View content;
  FrameOptions options;

  friend bool operator==(const FrameModifier&, const FrameModifier&) = default;
};

// A colour behind the content, extended under the safe areas of the given
// edges.
struct BackgroundModifier {
  View content;
  Color color;
  EdgeSet ignoresSafeAreaEdges = EdgeSet::all();

  friend bool operator==(const BackgroundModifier&, const BackgroundModifier&) = default;
};

struct FontModifier {
  View content;
  Font font;

  friend bool operator==(const FontModifier&, const FontModifier&) = default;
};

struct ForegroundColorModifier {
  View content;
  Color color;

  friend bool operator==(const ForegroundColorModifier&, const ForegroundColorModifier&) = default;
};

// Nothing: no limit.
struct LineLimitModifier {
  View content;
  std::optional<int> lines;

  friend bool operator==(const LineLimitModifier&, const LineLimitModifier&) = default;
};

// The URL a tap anywhere in the content opens; nothing attaches no URL.
struct WidgetURLModifier {
  View content;
  std::optional<URL> url;

  friend bool operator==(const WidgetURLModifier&, const WidgetURLModifier&) = default;
};

// `containerBackground(_:for: .widget)`: the widget's container background,
// which the host draws behind the whole widget (and may remove).
struct ContainerBackgroundModifier {
  View content;
  Color color;
  ContainerBackgroundPlacement placement = ContainerBackgroundPlacement::widget;

  friend bool operator==(const ContainerBackgroundModifier&,
                         const ContainerBackgroundModifier&) = default;
};

// `accessibilityIdentifier(_:)`: a name tests find the content by ("header",
// "row 2"); it changes nothing in the layout or the picture.
struct AccessibilityIdentifierModifier {
  View content;
  std::string identifier;

  friend bool operator==(const AccessibilityIdentifierModifier&,
                         const AccessibilityIdentifierModifier&) = default;
};

// --- Views that read the environment ---

// A view whose body depends on the environment, such as an entry view that
// lays out by widget family. `typeName` names the view type for diagnostics.
struct EnvironmentReader {
  std::string typeName;
  std::shared_ptr<const std::function<View(const EnvironmentValues&)>> body;

  // Only the same reader: two bodies cannot be compared.
  friend bool operator==(const EnvironmentReader& left, const EnvironmentReader& right) {
    return left.body == right.body;
  }
};

struct ViewNode {
  using Kind = ViewNodeKind;
  Kind kind;
};

template <ViewNodeType Node>
View::View(Node node) : node_(std::make_shared<const ViewNode>(ViewNode{std::move(node)})) {}

template <class Node>
const Node* View::as() const {
  return std::get_if<Node>(&node_->kind);
}

// A view type with `View body(const EnvironmentValues&) const` and a static
// `typeName`, wrapped as an environment reader that owns a copy of it.
template <class ViewType>
[[nodiscard]] View environmentReader(ViewType view) {
  auto shared = std::make_shared<const ViewType>(std::move(view));
  return EnvironmentReader{
      .typeName = std::string(ViewType::typeName),
      .body = std::make_shared<const std::function<View(const EnvironmentValues&)>>(
          [shared](const EnvironmentValues& environment) { return shared->body(environment); }),
  };
}

// `view` with every environment reader replaced by its body for
// `environment`, itself evaluated. Subtrees without readers are shared with
// `view`, not copied.
[[nodiscard]] View evaluated(const View& view, const EnvironmentValues& environment);

// The view a modifier applies to, or nothing for stacks and leaves.
[[nodiscard]] const View* modifiedContent(const ViewNode& node);
// The children of a stack; empty for any other node.
[[nodiscard]] const std::vector<View>& stackChildren(const ViewNode& node);

// The node kind's name as the host prints it: "VStack", "Text", "padding",
// "frame", "widgetURL", ...
[[nodiscard]] std::string_view kindName(const ViewNode& node);

}  // namespace brisklane
