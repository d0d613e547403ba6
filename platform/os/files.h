// Writing a file so that no reader ever sees part of it: the bytes go to a
// new file beside the target, which is then renamed over it. A reader opens
// either the old file or the whole new one. Nothing is synced to disk: the
// guarantee is against readers, not against a crash.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace brisklane {

// Writes `bytes` to `path` atomically, the file created with `mode` (the
// device folder's files are private to its owner). False when it cannot be
// written; the target is then as it was, and nothing is left beside it.
[[nodiscard]] bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                       mode_t mode = 0600);

}  // namespace brisklane
