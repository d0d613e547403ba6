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
  auto decoded = decodePayload(text);
  if (auto* payload = std::get_if<TodayPayload>(&decoded)) {
    auto again = decodePayload(encodePayload(*payload));
    auto* copy = std::get_if<TodayPayload>(&again);
    if (copy == nullptr || copy->tier != payload->tier || copy->count != payload->count ||
        copy->items != payload->items || copy->updatedAt != payload->updatedAt) {
      __builtin_trap();
    }
  }
  return 0;
}
