#include "host/render/picture.h"

namespace brisklane {

std::string_view extension(PictureFormat format) {
  return format == PictureFormat::svg ? ".svg" : ".png";
}

WidgetScene widgetScene(const WidgetConfiguration& widget, const AnyEntry& entry,
                        WidgetFamily family, const DeviceClass& device) {
  return makeScene(evaluated(widget.content(entry), EnvironmentValues{.widgetFamily = family}),
                   family, device);
}

std::optional<std::string> renderPicture(const WidgetScene& scene, PictureFormat format) {
  return format == PictureFormat::svg ? renderSvg(scene) : renderPng(scene);
}

}  // namespace brisklane
