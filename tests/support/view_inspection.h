// Reading view trees in tests: peel the modifiers off a view to reach the
// node they style, and collect what they set on the way.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "widget/swiftui/view.h"

namespace brisklane::testing {

struct PeeledView {
  View leaf;                           // the first node that is not a modifier
  std::vector<std::string> modifiers;  // kind names, outermost first
  std::optional<Font> font;            // innermost one, as the host applies it
  std::optional<Color> foregroundColor;
  std::optional<std::optional<int>> lineLimit;  // outer: whether set at all
  std::optional<std::optional<URL>> widgetURL;

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
    peeled.modifiers.emplace_back(kindName(current.node()));
    if (const auto* font = current.as<FontModifier>()) peeled.font = font->font;
    if (const auto* color = current.as<ForegroundColorModifier>()) {
      peeled.foregroundColor = color->color;
    }
    if (const auto* limit = current.as<LineLimitModifier>()) peeled.lineLimit = limit->lines;
    if (const auto* url = current.as<WidgetURLModifier>()) peeled.widgetURL = url->url;
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
