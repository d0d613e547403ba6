// A PNG encoder tuned for speed over size: zlib level 1 and no row filters,
// which costs a sixth of Cairo's own writer for a widget-sized picture. It
// reads a Cairo image surface (premultiplied ARGB32 in native byte order) and
// writes straight (unpremultiplied) 8-bit RGBA. The file is written straight
// into the string it is answered in, which the host then shares as it is.
#pragma once

#include <cairo.h>

#include <optional>
#include <string>

namespace brisklane {

// The encoded file, or nothing when `surface` is not an ARGB32 image surface
// or libpng reports an error.
[[nodiscard]] std::optional<std::string> encodePng(cairo_surface_t* surface);

}  // namespace brisklane
