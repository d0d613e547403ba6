#include "platform/web/static_files.h"

#include <array>
#include <utility>

#include "platform/web/http_text.h"
#include "platform/web/request_check.h"

namespace brisklane::web {
namespace {

namespace fs = std::filesystem;

// Where a head tag's opening tag ends, skipping quoted attribute values.
std::size_t endOfTag(std::string_view html, std::size_t start) {
  char quote = 0;
  for (std::size_t i = start; i < html.size(); ++i) {
    if (quote != 0) {
      if (html[i] == quote) quote = 0;
    } else if (html[i] == '"' || html[i] == '\'') {
      quote = html[i];
    } else if (html[i] == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

bool endsTagName(char character) {
  return character == '>' || character == '/' || character == ' ' || character == '\t' ||
         character == '\n' || character == '\r' || character == '\f';
}

}  // namespace

StaticTarget resolveStaticPath(const fs::path& canonicalRoot, std::string_view decodedPath) {
  if (decodedPath.empty() || decodedPath.front() != '/') return notFound;
  if (decodedPath.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos) {
    return outsideFolder;
  }
  fs::path candidate = canonicalRoot;
  Refusal refusal{0, {}};
  forEachPiece(decodedPath, '/', [&](std::string_view segment) {
    if (segment.empty() || refusal.status != 0) return;
    if (segment == "..") {
      refusal = outsideFolder;
    } else if (segment.front() == '.') {
      refusal = notFound;  // hidden files and "." stay private
    } else {
      candidate /= segment;
    }
  });
  if (refusal.status != 0) return refusal;

  std::error_code error;
  if (fs::is_directory(candidate, error)) {
    if (decodedPath.back() != '/') return FolderRedirect{};
    candidate /= "index.html";
  }
  fs::path resolved = fs::canonical(candidate, error);
  if (error) return notFound;
  // Symbolic links may lead anywhere; only where they end counts.
  const std::string& root = canonicalRoot.native();
  const std::string& path = resolved.native();
  bool inside = path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                (root.back() == '/' || path[root.size()] == '/');
  if (!inside || !fs::is_regular_file(resolved, error)) return notFound;
  return StaticFile{std::move(resolved)};
}

std::string insertIntoHead(std::string_view html, std::string_view insert) {
  // Without a head tag, after the doctype (a script before it would put the
  // page in quirks mode) and after a byte order mark (which must stay first).
  std::size_t at = html.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  for (std::size_t position = html.find('<'); position != std::string_view::npos;
       position = html.find('<', position + 1)) {
    std::string_view rest = html.substr(position);
    if (rest.substr(0, 4) == "<!--") {
      position = html.find("-->", position + 4);
      if (position == std::string_view::npos) break;
    } else if (startsWithIgnoringCase(rest, "<!doctype")) {
      auto end = endOfTag(html, position);
      if (end == std::string_view::npos) break;
      at = end;
      position = end - 1;
    } else if (startsWithIgnoringCase(rest, "<head") && rest.size() > 5 && endsTagName(rest[5])) {
      if (auto end = endOfTag(html, position); end != std::string_view::npos) at = end;
      break;
    } else if (startsWithIgnoringCase(rest, "<body")) {
      break;  // no head tag comes after the body's
    }
  }
  std::string result;
  result.reserve(html.size() + insert.size());
  result.append(html.substr(0, at)).append(insert).append(html.substr(at));
  return result;
}

std::string_view contentTypeFor(const fs::path& file) {
  constexpr std::array<std::pair<std::string_view, std::string_view>, 21> types{{
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".map", "application/json"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".webp", "image/webp"},
      {".ico", "image/x-icon"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".txt", "text/plain; charset=utf-8"},
      {".wasm", "application/wasm"},
      {".webmanifest", "application/manifest+json"},
      {".xml", "application/xml"},
  }};
  std::string extension = file.extension().string();
  for (const auto& [suffix, type] : types) {
    if (equalIgnoringCase(extension, suffix)) return type;
  }
  return "application/octet-stream";
}

bool namesClientRoute(std::string_view decodedPath) {
  if (decodedPath.empty() || decodedPath.front() != '/') return false;
  bool hidden = false;
  std::string_view last;
  forEachPiece(decodedPath.substr(1), '/', [&](std::string_view segment) {
    if (!segment.empty() && segment.front() == '.') hidden = true;
    last = segment;
  });
  return !hidden && last.find('.') == std::string_view::npos;
}

}  // namespace brisklane::web
