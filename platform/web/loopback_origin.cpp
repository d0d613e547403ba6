#include "platform/web/loopback_origin.h"

#include <charconv>
#include <regex>

namespace brisklane {

std::string LoopbackOrigin::hostAndPort() const {
  bool literalIPv6 = host.find(':') != std::string::npos;
  return (literalIPv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<LoopbackOrigin> loopbackOrigin(std::string_view url) {
  // Scheme and host names are case-insensitive; the three hosts are all the
  // loopback names a development server prints.
  static const std::regex pattern(R"(http://(127\.0\.0\.1|localhost|\[::1\]):([0-9]{1,5})/?)",
                                  std::regex::icase);
  std::match_results<std::string_view::const_iterator> match;
  if (!std::regex_match(url.begin(), url.end(), match, pattern)) return std::nullopt;
  unsigned port = 0;
  std::string_view digits(&*match[2].first, static_cast<std::size_t>(match[2].length()));
  std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (port == 0 || port > 65535) return std::nullopt;
  std::string host = match[1].str();
  if (host.front() == '[') {
    host = "::1";
  } else if (host != "127.0.0.1") {
    host = "localhost";
  }
  return LoopbackOrigin{.host = std::move(host), .port = static_cast<std::uint16_t>(port)};
}

}  // namespace brisklane
