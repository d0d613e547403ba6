// The small text operations of HTTP that the request checks, the static
// files and the server share: ASCII case, constant-time comparison, pieces
// of a header or a query, percent-decoding. Pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brisklane::web {

// Header names, tags and extensions are ASCII; the locale must not matter.
inline char asciiLower(char character) {
  return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                              : character;
}

inline bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

inline bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Tokens differ only in content, never in length, so only the content must
// not leak through timing.
inline bool equalInConstantTime(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
  }
  return difference == 0;
}

inline std::string_view trimSpaces(std::string_view text) {
  auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

template <typename Visit>
void forEachPiece(std::string_view text, char separator, Visit visit) {
  while (!text.empty()) {
    auto end = text.find(separator);
    visit(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

inline int hexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// In a query, '+' stands for a space (form encoding); in a path it is itself.
enum class Plus { literal, space };

inline std::optional<std::string> percentDecode(std::string_view text, Plus plus) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int high = hexDigitValue(text[i + 1]);
      int low = hexDigitValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      decoded.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (text[i] == '+' && plus == Plus::space) {
      decoded.push_back(' ');
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

// `rawPath` as a redirect target that stays on this site: "//host/x" would
// name another host.
inline std::string sameSitePath(std::string_view rawPath) {
  auto first = rawPath.find_first_not_of('/');
  return "/" +
         std::string(first == std::string_view::npos ? std::string_view() : rawPath.substr(first));
}

}  // namespace brisklane::web
