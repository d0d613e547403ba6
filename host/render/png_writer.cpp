// libpng reports errors by longjmp, so the frame that calls setjmp holds no
// object with a destructor: everything it touches is owned by the caller.
#include "host/render/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

namespace brisklane {
namespace {

struct Destination {
  std::string* bytes;
};

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* destination = static_cast<Destination*>(png_get_io_ptr(png));
  destination->bytes->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// Premultiplied native-endian ARGB to straight RGBA, one row.
void unpremultiplyRow(const unsigned char* source, png_bytep row, std::ptrdiff_t width) {
  for (std::ptrdiff_t x = 0; x < width; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, source + 4 * x, 4);
    const std::uint32_t alpha = pixel >> 24;
    std::uint32_t red = (pixel >> 16) & 0xff;
    std::uint32_t green = (pixel >> 8) & 0xff;
    std::uint32_t blue = pixel & 0xff;
    if (alpha != 0 && alpha != 255) {
      red = (red * 255 + alpha / 2) / alpha;
      green = (green * 255 + alpha / 2) / alpha;
      blue = (blue * 255 + alpha / 2) / alpha;
    }
    png_bytep out = row + 4 * x;
    out[0] = static_cast<png_byte>(red);
    out[1] = static_cast<png_byte>(green);
    out[2] = static_cast<png_byte>(blue);
    out[3] = static_cast<png_byte>(alpha);
  }
}

// Runs libpng over the rows; answers false when libpng jumped back with an
// error. `row` has room for one row of RGBA.
bool writeRows(png_structp png, png_infop info, cairo_surface_t* surface, png_bytep row,
               Destination* destination) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  png_set_write_fn(png, destination, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_buffer_size(png, 1 << 16);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    unpremultiplyRow(pixels + static_cast<std::ptrdiff_t>(y) * stride, row, width);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  return true;
}

}  // namespace

std::optional<std::string> encodePng(cairo_surface_t* surface) {
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
    return std::nullopt;
  }
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  if (width <= 0 || height <= 0) return std::nullopt;

  std::string bytes;
  // Level 1 without filters compresses a flat widget to roughly a tenth.
  bytes.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 8 + 1024);
  std::vector<png_byte> row(static_cast<std::size_t>(width) * 4);
  Destination destination{&bytes};

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return std::nullopt;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return std::nullopt;
  }
  const bool written = writeRows(png, info, surface, row.data(), &destination);
  png_destroy_write_struct(&png, &info);
  if (!written) return std::nullopt;
  return bytes;
}

}  // namespace brisklane
