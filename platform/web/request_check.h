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
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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

// The fixed answers of the server's refusals.
inline constexpr Refusal malformed{400, "The request is malformed.\n"};
inline constexpr Refusal foreignHost{403,
                                     "This server answers only requests addressed to itself.\n"};
inline constexpr Refusal foreignOrigin{403, "This server answers only its own pages.\n"};
inline constexpr Refusal missingToken{403, "The token is missing or wrong.\n"};
inline constexpr Refusal otherSite{403, "This server answers only its own pages and the person.\n"};
inline constexpr Refusal outsideFolder{403, "The path leaves the served folder.\n"};
inline constexpr Refusal notFound{404, "Not found.\n"};
inline constexpr Refusal readOnlyMethods{405, "Only GET and HEAD are allowed here.\n"};
inline constexpr Refusal webSocketOnly{426, "This address takes only WebSocket connections.\n"};
inline constexpr Refusal bodyTooLarge{413, "The request's body is too large.\n"};
inline constexpr Refusal headerTooLarge{431, "The request's header is too large.\n"};
inline constexpr Refusal badRouteAnswer{500, "The route gave an answer that cannot be sent.\n"};
inline constexpr Refusal upstreamSilent{502, "The development server does not answer.\n"};

// What the checks read of a request, as the server parsed it: views into
// the parsed request, which must outlive it.
struct RequestHead {
  std::string_view method;                    // as sent: "GET", "POST", ...
  std::string_view target;                    // as sent
  std::vector<std::string_view> hosts;        // every Host field
  std::vector<std::string_view> origins;      // every Origin field
  std::vector<std::string_view> cookies;      // every Cookie field
  std::optional<std::string_view> fetchSite;  // Sec-Fetch-Site, when sent
  std::string_view fetchMode;                 // Sec-Fetch-Mode; empty when absent
  std::string_view contentType;               // empty when absent
  bool webSocketUpgrade = false;
  std::string_view body;
};

// What the server makes of a request with `policy`.
[[nodiscard]] Verdict judge(const RequestHead& request, const RequestPolicy& policy);

// Parses `bytes` as one whole request, the way the server does with `limits`,
// and judges it. Bytes that end before the request does are malformed.
[[nodiscard]] Verdict checkRequestBytes(std::string_view bytes, const RequestPolicy& policy,
                                        const LoopbackServerLimits& limits);

}  // namespace brisklane::web
