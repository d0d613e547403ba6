// Feeds arbitrary bytes to the summary decoder. Whatever it is given, it must
// answer a payload or a reason, and a payload it answers must survive being
// written and read back unchanged.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "widget/today/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisklane;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto decoded = decodePayload(text);
  if (decoded) {
    const auto again = decodePayload(encodePayload(*decoded));
    if (!again || again->tier != decoded->tier || again->count != decoded->count ||
        again->items != decoded->items || again->updatedAt != decoded->updatedAt) {
      __builtin_trap();
    }
  }
  return 0;
}
