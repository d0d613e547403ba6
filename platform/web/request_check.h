// The checks the loopback server makes on each request before serving it,
// usable without a socket: the server runs these very functions on what it
// reads, and the fuzzer feeds them arbitrary bytes.
//
// A request passes when it has exactly one Host naming the server's own
// address, an Origin that is the server's own (required for WebSocket
// upgrades and for methods other than GET and HEAD), a well-formed
// origin-form target, and the token in the query or in the port's cookie. A
// right token in the query of a plain GET or HEAD is answered with a
// redirect to the same address without it. Another token in the query is
// refused, except on a WebSocket for a development server that the server
// tunnels to, beside the right cookie: that token is the development
// server's own (its live-reload socket carries one), and passes on to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

#include "platform/web/loopback_server.h"

namespace brisklane::web {

// What a server on one port with one token expects.
struct RequestPolicy {
  std::string host;        // "HOSTNAME:PORT"
  std::string origin;      // "http://HOSTNAME:PORT"
  std::string cookieName;  // includes the port: cookies do not tell ports apart
  std::string token;
  bool tunnelsUpgrades = false;  // WebSockets beyond the server's own go to a development server
};
[[nodiscard]] RequestPolicy makeRequestPolicy(std::uint16_t port, std::string token,
                                              std::string_view hostName = "127.0.0.1");

// A request turned away; `reason` is the fixed text of the response body.
struct Refusal {
  unsigned status;
  std::string_view reason;
};

// The right token came in the address of a page load.
struct TokenRedirect {
  std::string location;  // the same path and query, without the token
};

struct Admission {
  HttpRequest request;
  std::string rawPath;   // as sent, for redirects
  std::string rawQuery;  // as sent, without the '?'
  std::string
      forwardedQuery;      // rawQuery without the server's token: what a development server gets
  bool webSocket = false;  // asks to become a WebSocket
};

using Verdict = std::variant<Refusal, TokenRedirect, Admission>;

// Parses `bytes` as one whole request, the way the server does with `limits`,
// and judges it. Bytes that end before the request does are malformed.
[[nodiscard]] Verdict checkRequestBytes(std::string_view bytes, const RequestPolicy& policy,
                                        const LoopbackServerLimits& limits);

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
