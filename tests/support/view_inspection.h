// Reading view trees in tests: peel the modifiers off a view to reach the
// node they style, and collect the colour, line limit and identifier they set
// on the way.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "widget/swiftui/view.h"

namespace brisklane::testing {

struct PeeledView {
  View leaf;  // the first node that is not a modifier
  std::optional<Color> foregroundColor;
  std::optional<std::optional<int>> lineLimit;  // outer: whether set at all
  std::optional<std::string> identifier;        // the outermost accessibility identifier

  // The text shown when the leaf is a `Text`; empty otherwise.
  [[nodiscard]] std::string text() const {
    if (const auto* node = leaf.as<Text>()) return resolvedText(node->content);
    return {};
  }
  [[nodiscard]] bool isText() const { return leaf.as<Text>() != nullptr; }
};

inline PeeledView peel(const View& view) {
  PeeledView peeled;
  View current = view;
  while (const View* content = modifiedContent(current.node())) {
    if (const auto* color = current.as<ForegroundColorModifier>()) {
      peeled.foregroundColor = color->color;
    }
    if (const auto* limit = current.as<LineLimitModifier>()) peeled.lineLimit = limit->lines;
    if (const auto* named = current.as<AccessibilityIdentifierModifier>();
        named && !peeled.identifier) {
      peeled.identifier = named->identifier;
    }
    current = *content;
  }
  peeled.leaf = current;
  return peeled;
}

// Every URL attached anywhere in the tree, in depth-first order.
inline void collectWidgetURLs(const View& view, std::vector<std::optional<URL>>& urls) {
  if (const auto* url = view.as<WidgetURLModifier>()) urls.push_back(url->url);
  if (view.as<Label>()) return;
  if (const View* content = modifiedContent(view.node())) collectWidgetURLs(*content, urls);
  for (const View& child : stackChildren(view.node())) collectWidgetURLs(child, urls);
}

}  // namespace brisklane::testing
