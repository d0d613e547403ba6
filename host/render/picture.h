// A widget's picture, from its configuration and an entry to the bytes of a
// PNG or an SVG document. Nothing here touches a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/render/devices.h"
#include "host/render/draw.h"
#include "widget/widget_configuration.h"

namespace brisklane {

enum class PictureFormat { png, svg };

// ".png" or ".svg".
[[nodiscard]] std::string_view extension(PictureFormat format);

// The view `widget` shows for `entry`, evaluated in `family` and laid out on
// `device`.
[[nodiscard]] WidgetScene widgetScene(const WidgetConfiguration& widget, const AnyEntry& entry,
                                      WidgetFamily family, const DeviceClass& device);

// The picture of `scene` in `format`: PNG bytes or an SVG document; nothing
// when drawing or encoding failed.
[[nodiscard]] std::optional<std::string> renderPicture(const WidgetScene& scene,
                                                       PictureFormat format);

}  // namespace brisklane
