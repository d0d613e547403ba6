// Drawing a laid-out widget with Cairo. The same drawing code serves PNG
// (an image surface scaled by the device's 3x) and SVG (a vector surface in
// points): only the surface differs.
//
// What the host adds around the views: the widget's outline (continuous
// corners on the home screen, a circle for `accessoryCircular`, nothing for
// the inline line), the container background behind everything, and the
// lock screen's rendering of accessory families, where every colour becomes
// white with an opacity that follows its lightness and the accessory backdrop
// is a translucent white.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/render/devices.h"
#include "host/render/layout.h"
#include "platform/foundation/url.h"
#include "widget/swiftui/view.h"
#include "widget/widget_kit.h"

namespace brisklane {

// A widget ready to draw: the evaluated tree, its layout on the device's
// family size, and where it is shown.
struct WidgetScene {
  View tree;
  LayoutResult layout;
  WidgetFamily family;
  DeviceClass device;
};

// Lays `tree` (already evaluated for `family`) out on `device`.
[[nodiscard]] WidgetScene makeScene(View tree, WidgetFamily family, const DeviceClass& device);

// The colour of texts and symbols that set none.
inline constexpr Color defaultForegroundColor = Color::white;
// `AccessoryWidgetBackground` as the lock screen shows it.
inline constexpr Color accessoryBackdropColor{1, 1, 1, 0.22};

// Draws `scene` into `cairo`, whose user space is in points. On an image
// surface everything outside the widget's outline is left transparent
// (cleared, whatever was there); on a vector surface it is clipped.
void drawWidget(cairo_t* cairo, const WidgetScene& scene);

[[nodiscard]] std::optional<std::string> renderPng(const WidgetScene& scene);
[[nodiscard]] std::optional<std::string> renderSvg(const WidgetScene& scene);

// What a tap opens: the widget's URL covers the whole widget inside its
// outline, wherever in the tree it was attached (the outermost one wins when
// there are several).
struct TapRegion {
  Rect bounds;
  URL url;
};
[[nodiscard]] std::optional<TapRegion> tapRegion(const WidgetScene& scene);
[[nodiscard]] std::optional<URL> urlAt(const WidgetScene& scene, Point point);

// The colour as the family shows it (the lock screen's monochrome for
// accessory families).
[[nodiscard]] Color displayedColor(Color color, WidgetFamily family);

}  // namespace brisklane
