// Secrets made from the kernel's randomness: per-run tokens and labels.
#pragma once

#include <cstddef>
#include <string>

#include "platform/os/system_error.h"

namespace brisklane {

// `byteCount` random bytes as twice as many lowercase hexadecimal digits;
// why not when the system has no randomness to give.
[[nodiscard]] SystemResult<std::string> randomHex(std::size_t byteCount);

}  // namespace brisklane
