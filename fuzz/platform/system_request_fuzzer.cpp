// Feeds arbitrary bytes to the control socket's request decoder, as one line
// from a client. The decoder must answer a request or a reason, and a
// request must come back unchanged from its own line, which holds no newline.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/uikit/control_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisklane;
  auto decoded = decodeSystemRequest(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!decoded) return 0;
  std::string line = encodeSystemRequest(*decoded);
  if (line.find('\n') != std::string::npos) __builtin_trap();
  auto again = decodeSystemRequest(line);
  if (!again || !(*again == *decoded)) __builtin_trap();
  return 0;
}
