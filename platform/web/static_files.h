// The served folder's side of the loopback server: where a decoded path
// leads under the folder, what a file is served as, and the insert into an
// HTML page's head. Pure but for reading the folder's entries.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

#include "platform/web/request_check.h"

namespace brisklane::web {

// Where a decoded path leads under a folder that is already canonical.
struct StaticFile {
  std::filesystem::path path;  // canonical, a regular file inside the root
};
struct FolderRedirect {};  // a folder named without its trailing slash
using StaticTarget = std::variant<StaticFile, FolderRedirect, Refusal>;
[[nodiscard]] StaticTarget resolveStaticPath(const std::filesystem::path& canonicalRoot,
                                             std::string_view decodedPath);
// Whether a decoded path that names no file is a single-page application's
// own route: its last segment has no extension and no segment is hidden.
[[nodiscard]] bool namesClientRoute(std::string_view decodedPath);

// `html` with `insert` placed right after its opening head tag; after the
// doctype (or at the start) when it has none.
[[nodiscard]] std::string insertIntoHead(std::string_view html, std::string_view insert);

// The Content-Type for a file name, by its extension.
[[nodiscard]] std::string_view contentTypeFor(const std::filesystem::path& file);

}  // namespace brisklane::web
