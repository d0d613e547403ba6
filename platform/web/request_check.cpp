#include "platform/web/request_check.h"

#include <map>
#include <utility>

#include "platform/web/http_text.h"

namespace brisklane::web {
namespace {

// An origin-form request target, split and decoded.
struct Target {
  std::string rawPath;
  std::string rawQuery;
  std::string path;
  std::map<std::string, std::string> query;
};

std::optional<Target> parseTarget(std::string_view raw) {
  // Browsers turn backslashes into slashes before sending; a raw one is not
  // from a browser, and would make "/\host" a redirect to another site.
  if (raw.empty() || raw.front() != '/' || raw.find('\\') != std::string_view::npos) {
    return std::nullopt;
  }
  auto question = raw.find('?');
  Target target;
  target.rawPath = raw.substr(0, question);
  if (question != std::string_view::npos) target.rawQuery = raw.substr(question + 1);
  auto path = percentDecode(target.rawPath, Plus::literal);
  if (!path || path->find('\0') != std::string::npos) return std::nullopt;
  target.path = std::move(*path);
  bool wellFormed = true;
  forEachPiece(target.rawQuery, '&', [&](std::string_view piece) {
    if (piece.empty()) return;
    auto equals = piece.find('=');
    auto name = percentDecode(piece.substr(0, equals), Plus::space);
    auto value = percentDecode(
        equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1),
        Plus::space);
    if (!name || !value) {
      wellFormed = false;
      return;
    }
    target.query.emplace(std::move(*name), std::move(*value));
  });
  if (!wellFormed) return std::nullopt;
  return target;
}

// `rawQuery` without its "token" pieces, or only those that carry `token`.
std::string queryWithoutToken(std::string_view rawQuery, std::optional<std::string_view> token) {
  std::string query;
  forEachPiece(rawQuery, '&', [&](std::string_view piece) {
    if (piece.empty()) return;
    auto equals = piece.find('=');
    auto name = percentDecode(piece.substr(0, equals), Plus::space);
    if (name && *name == "token") {
      if (!token) return;
      auto value = percentDecode(
          equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1),
          Plus::space);
      if (value && equalInConstantTime(*value, *token)) return;
    }
    if (!query.empty()) query += '&';
    query += piece;
  });
  return query;
}

std::string locationWithoutToken(const Target& target) {
  std::string query = queryWithoutToken(target.rawQuery, std::nullopt);
  std::string location = sameSitePath(target.rawPath);
  if (!query.empty()) location += "?" + query;
  return location;
}

bool cookieCarriesToken(const RequestHead& request, const RequestPolicy& policy) {
  bool found = false;
  for (std::string_view cookie : request.cookies) {
    forEachPiece(cookie, ';', [&](std::string_view pair) {
      auto equals = pair.find('=');
      if (equals == std::string_view::npos) return;
      if (trimSpaces(pair.substr(0, equals)) != policy.cookieName) return;
      if (equalInConstantTime(trimSpaces(pair.substr(equals + 1)), policy.token)) found = true;
    });
  }
  return found;
}

}  // namespace

Verdict judge(const RequestHead& request, const RequestPolicy& policy) {
  if (request.hosts.size() != 1 || request.hosts.front() != policy.host) return foreignHost;
  const bool webSocket = request.webSocketUpgrade;
  const bool readOnly = request.method == "GET" || request.method == "HEAD";
  const std::size_t origins = request.origins.size();
  // A browser names the origin of every cross-origin request, of every
  // WebSocket, and of every change; GET and HEAD from the page itself may
  // come without one.
  if (origins > 1 || (origins == 1 && request.origins.front() != policy.origin)) {
    return foreignOrigin;
  }
  if (origins == 0 && (webSocket || !readOnly)) return foreignOrigin;
  // What a browser says of where a request comes from: the page itself, or
  // a person (an address typed, a bookmark). Of the pages of the same site,
  // which are the device's own, only navigations: the phone's frame of App.
  if (const auto& site = request.fetchSite) {
    const std::string_view from = *site;
    const bool navigates = request.fetchMode == "navigate";
    if (from != "same-origin" && from != "none" && !(from == "same-site" && navigates)) {
      return otherSite;
    }
  }

  auto target = parseTarget(request.target);
  if (!target) return malformed;
  if (auto token = target->query.find("token"); token != target->query.end()) {
    if (equalInConstantTime(token->second, policy.token)) {
      if (readOnly && !webSocket) return TokenRedirect{locationWithoutToken(*target)};
      target->query.erase(token);
    } else if (!(policy.tunnelsUpgrades && webSocket && cookieCarriesToken(request, policy))) {
      return missingToken;
    }
  } else if (!cookieCarriesToken(request, policy)) {
    return missingToken;
  }
  std::string forwardedQuery = queryWithoutToken(target->rawQuery, policy.token);
  return Admission{.request = {.method = std::string(request.method),
                               .path = std::move(target->path),
                               .query = std::move(target->query),
                               .body = std::string(request.body),
                               .contentType = std::string(request.contentType)},
                   .rawPath = std::move(target->rawPath),
                   .rawQuery = std::move(target->rawQuery),
                   .forwardedQuery = std::move(forwardedQuery),
                   .webSocket = webSocket};
}

}  // namespace brisklane::web
