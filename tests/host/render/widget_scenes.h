// Building laid-out widgets for host tests: an entry through the bundle's
// content function, evaluated and laid out on a device; and finding nodes in
// the layout by what they show.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/render/draw.h"
#include "widget/today/provider.h"
#include "widget/voice/provider.h"
#include "widget/widget_bundle.h"

namespace brisklane::testing {

inline WidgetScene sceneOf(std::string_view kind, const AnyEntry& entry, WidgetFamily family,
                           const DeviceClass& device = defaultDeviceClass) {
  for (const WidgetConfiguration& widget : BrisklaneWidgetBundle{}.body()) {
    if (widget.kind == kind) {
      return makeScene(evaluated(widget.content(entry), EnvironmentValues{.widgetFamily = family}),
                       family, device);
    }
  }
  ADD_FAILURE() << "no widget " << kind;
  return makeScene(View(), family, device);
}

inline WidgetScene todayScene(std::optional<TodayPayload> payload, WidgetFamily family,
                              const DeviceClass& device = defaultDeviceClass) {
  return sceneOf(todayWidgetKind,
                 anyEntry(TodayEntry{.date = Date::now(), .payload = std::move(payload)}), family,
                 device);
}

inline WidgetScene voiceScene(WidgetFamily family, const DeviceClass& device = defaultDeviceClass) {
  return sceneOf(voiceWidgetKind, anyEntry(VoiceEntry{.date = Date::now()}), family, device);
}

inline TodayPayload payloadOf(std::optional<std::string> tier, std::int64_t count, int items,
                              const std::string& firstTitle = "Call the plumber") {
  TodayPayload payload{.tier = std::move(tier), .count = count, .items = {}, .updatedAt = {}};
  for (int index = 0; index < items; ++index) {
    payload.items.push_back(
        {.title = index == 0 ? firstTitle : "Task " + std::to_string(index), .project = "Home"});
  }
  return payload;
}

// The text a node shows, when it is a `Text`.
inline std::optional<std::string> shownText(const NodeLayout& node) {
  if (const auto* text = std::get_if<Text>(&node.node->kind)) return displayedText(*text);
  return std::nullopt;
}

// The first `Text` node showing `text` (or starting with it).
inline const NodeLayout* findText(const LayoutResult& layout, std::string_view text,
                                  bool prefix = false) {
  for (const NodeLayout& node : layout.nodes) {
    auto shown = shownText(node);
    if (shown && (prefix ? shown->starts_with(text) : *shown == text)) return &node;
  }
  return nullptr;
}

// Index of the first node of kind `Kind`, or -1.
template <class Kind>
int firstIndexOf(const LayoutResult& layout) {
  for (std::size_t index = 0; index < layout.nodes.size(); ++index) {
    if (std::holds_alternative<Kind>(layout.nodes[index].node->kind)) return int(index);
  }
  return -1;
}

// The direct children of node `parent`, in order.
inline std::vector<const NodeLayout*> childrenOf(const LayoutResult& layout, int parent) {
  std::vector<const NodeLayout*> children;
  for (const NodeLayout& node : layout.nodes) {
    if (node.parent == parent) children.push_back(&node);
  }
  return children;
}

}  // namespace brisklane::testing
