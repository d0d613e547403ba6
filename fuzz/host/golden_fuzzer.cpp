// Feeds arbitrary bytes to what a golden check reads from a folder: the
// layout report and the PNG. A report either decodes or is refused with a
// reason, and one that decodes differs from itself in nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/snapshot/pixel_diff.h"
#include "host/snapshot/semantic_diff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisklane;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto layout = decodeLayoutReport(bytes)) {
    if (!semanticDifferences(*layout, *layout).empty()) __builtin_trap();
  } else if (layout.reason().empty()) {
    __builtin_trap();
  }
  if (const auto picture = decodePng(bytes)) {
    if (picture->pixels.size() != std::size_t(picture->width) * std::size_t(picture->height) * 4) {
      __builtin_trap();
    }
  }
  return 0;
}
