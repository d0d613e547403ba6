#include "platform/foundation/url.h"

namespace brisklane {
namespace {

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
  return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Unreserved and reserved characters of RFC 3986; '%' is checked apart.
bool isUriCharacter(char c) {
  if (isAsciiLetter(c) || isAsciiDigit(c)) return true;
  switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':  // unreserved
    case ':':
    case '/':
    case '?':
    case '#':
    case '[':
    case ']':
    case '@':  // gen-delims
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':  // sub-delims
    case '+':
    case ',':
    case ';':
    case '=':
      return true;
    default:
      return false;
  }
}

// A colon before the first '/', '?' or '#' ends a scheme, which is a letter
// followed by letters, digits, '+', '-' or '.'.
bool schemeIsWellFormed(std::string_view text) {
  std::size_t colon = text.find(':');
  std::size_t firstDelimiter = text.find_first_of("/?#");
  if (colon == std::string_view::npos || colon > firstDelimiter) return true;
  std::string_view scheme = text.substr(0, colon);
  if (scheme.empty() || !isAsciiLetter(scheme.front())) return false;
  for (char c : scheme) {
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

}  // namespace

std::optional<URL> URL::fromString(std::string_view string) {
  if (string.empty()) return std::nullopt;
  for (std::size_t index = 0; index < string.size(); ++index) {
    char c = string[index];
    if (c == '%') {
      if (index + 2 >= string.size()) return std::nullopt;
      if (!isHexDigit(string[index + 1]) || !isHexDigit(string[index + 2])) return std::nullopt;
      index += 2;
      continue;
    }
    if (!isUriCharacter(c)) return std::nullopt;
  }
  if (!schemeIsWellFormed(string)) return std::nullopt;
  return URL{.absoluteString = std::string(string)};
}

}  // namespace brisklane
