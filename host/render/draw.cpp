// The drawing walk follows the layout's pre-order: a background before the
// content it sits behind, stack children back to front.
#include "host/render/draw.h"

#include <cairo-svg.h>

#include <cmath>
#include <numbers>
#include <string_view>
#include <type_traits>
#include <variant>

#include "host/render/png_writer.h"
#include "host/render/shapes.h"

namespace brisklane {
namespace {

// The font the lock screen sets inline accessories in, whatever the view
// asks for; the other families start from the body style.
constexpr double inlineFontSize = 15;

InheritedStyle hostStyle(WidgetFamily family) {
  InheritedStyle style;
  if (family == WidgetFamily::accessoryInline) {
    style.font = Font::system(inlineFontSize, FontWeight::semibold);
  }
  return style;
}

void setSource(cairo_t* cairo, Color color) {
  cairo_set_source_rgba(cairo, color.red, color.green, color.blue, color.opacity);
}

void fill(cairo_t* cairo, const Rect& rect, Color color) {
  if (color.opacity <= 0) return;
  setSource(cairo, color);
  cairo_rectangle(cairo, rect.minX(), rect.minY(), rect.size.width, rect.size.height);
  cairo_fill(cairo);
}

// The widget's outline as the current path.
void appendOutline(cairo_t* cairo, const WidgetScene& scene) {
  const Rect bounds{{0, 0}, scene.layout.canvas};
  switch (scene.family) {
    case WidgetFamily::systemSmall:
    case WidgetFamily::systemMedium:
      appendContinuousRoundedRect(cairo, bounds, scene.device.widgetCornerRadius);
      return;
    case WidgetFamily::accessoryCircular:
      cairo_new_sub_path(cairo);
      cairo_arc(cairo, bounds.midX(), bounds.midY(),
                std::min(bounds.size.width, bounds.size.height) / 2, 0, 2 * std::numbers::pi);
      cairo_close_path(cairo);
      return;
    case WidgetFamily::accessoryInline:
      cairo_rectangle(cairo, 0, 0, bounds.size.width, bounds.size.height);
      return;
  }
}

const ContainerBackgroundModifier* containerBackground(const LayoutResult& layout) {
  for (const NodeLayout& node : layout.nodes) {
    if (const auto* background = std::get_if<ContainerBackgroundModifier>(&node.node->kind)) {
      return background;
    }
  }
  return nullptr;
}

void drawNode(cairo_t* cairo, const WidgetScene& scene, const NodeLayout& node) {
  const auto displayed = [&](Color color) { return displayedColor(color, scene.family); };
  const Color foreground = displayed(node.style.foregroundColor.value_or(defaultForegroundColor));
  auto drawSymbolNamed = [&](std::string_view name, const Rect& frame) {
    const auto symbol = systemSymbolNamed(name);
    if (!symbol) return;
    setSource(cairo, foreground);
    drawSymbol(cairo, *symbol, textFont(node.style.font), frame);
  };
  std::visit(Overloaded{
                 [&](const Image& image) { drawSymbolNamed(image.systemName, node.frame); },
                 [&](const Label& label) {
                   if (node.icon) drawSymbolNamed(label.icon.systemName, *node.icon);
                 },
                 [&](const ColorFill& color) { fill(cairo, node.frame, displayed(color.color)); },
                 [&](const AccessoryWidgetBackground&) {
                   fill(cairo, node.frame, accessoryBackdropColor);
                 },
                 [&](const BackgroundModifier& background) {
                   fill(cairo, node.frame, displayed(background.color));
                 },
                 [](const auto&) {},
             },
             node.node->kind);
  if (node.text) {
    drawText(cairo, node.text->run, node.text->frame.origin, node.text->width,
             {foreground.red, foreground.green, foreground.blue, foreground.opacity});
  }
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Color displayedColor(Color color, WidgetFamily family) {
  if (!isAccessory(family)) return color;
  const double lightness = 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
  return Color{1, 1, 1, color.opacity * lightness};
}

WidgetScene makeScene(View tree, WidgetFamily family, const DeviceClass& device) {
  const Size canvas = familySize(device, family);
  LayoutResult laidOut = layout(tree, canvas, hostStyle(family));
  return WidgetScene{
      .tree = std::move(tree), .layout = std::move(laidOut), .family = family, .device = device};
}

void drawWidget(cairo_t* cairo, const WidgetScene& scene) {
  // A vector surface keeps the outline as a clip path. On pixels, clipping
  // every fill to a curved outline costs more than all the drawing, so the
  // outline is applied once at the end, as a mask over what was drawn.
  const bool onPixels = cairo_surface_get_type(cairo_get_target(cairo)) == CAIRO_SURFACE_TYPE_IMAGE;
  cairo_save(cairo);
  if (!onPixels) {
    appendOutline(cairo, scene);
    cairo_clip(cairo);
  }
  // The lock screen drops container backgrounds: accessories float on the
  // wallpaper with their own backdrop.
  if (const auto* background = containerBackground(scene.layout);
      background != nullptr && !isAccessory(scene.family)) {
    fill(cairo, {{0, 0}, scene.layout.canvas}, background->color);
  }
  for (const NodeLayout& node : scene.layout.nodes) drawNode(cairo, scene, node);
  if (onPixels) {
    cairo_set_operator(cairo, CAIRO_OPERATOR_DEST_IN);
    cairo_set_source_rgba(cairo, 0, 0, 0, 1);
    appendOutline(cairo, scene);
    cairo_fill(cairo);
  }
  cairo_restore(cairo);
}

std::optional<std::string> renderPng(const WidgetScene& scene) {
  const int width = static_cast<int>(std::ceil(scene.layout.canvas.width * drawingScale));
  const int height = static_cast<int>(std::ceil(scene.layout.canvas.height * drawingScale));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cairo = cairo_create(surface);
  cairo_scale(cairo, drawingScale, drawingScale);
  drawWidget(cairo, scene);
  const bool drawn = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cairo);
  auto bytes = drawn ? encodePng(surface) : std::nullopt;
  cairo_surface_destroy(surface);
  return bytes;
}

std::optional<std::string> renderSvg(const WidgetScene& scene) {
  std::string document;
  cairo_surface_t* surface = cairo_svg_surface_create_for_stream(
      appendToString, &document, scene.layout.canvas.width, scene.layout.canvas.height);
  cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
  cairo_t* cairo = cairo_create(surface);
  drawWidget(cairo, scene);
  const bool drawn = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cairo);
  cairo_surface_finish(surface);
  const bool finished = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!drawn || !finished) return std::nullopt;
  return document;
}

std::optional<TapRegion> tapRegion(const WidgetScene& scene) {
  for (const NodeLayout& node : scene.layout.nodes) {
    if (const auto* link = std::get_if<WidgetURLModifier>(&node.node->kind); link && link->url) {
      return TapRegion{{{0, 0}, scene.layout.canvas}, *link->url};
    }
  }
  return std::nullopt;
}

std::optional<URL> urlAt(const WidgetScene& scene, Point point) {
  auto region = tapRegion(scene);
  if (!region || !region->bounds.contains(point)) return std::nullopt;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* cairo = cairo_create(surface);
  appendOutline(cairo, scene);
  const bool inside = cairo_in_fill(cairo, point.x, point.y) != 0;
  cairo_destroy(cairo);
  cairo_surface_destroy(surface);
  if (!inside) return std::nullopt;
  return region->url;
}

}  // namespace brisklane
