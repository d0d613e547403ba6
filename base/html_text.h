// Text placed in an HTML page, in an element or in a quoted attribute.
#pragma once

#include <string>
#include <string_view>

namespace brisklane {

[[nodiscard]] inline std::string escapedHtml(std::string_view text) {
  std::string html;
  html.reserve(text.size());
  for (char character : text) {
    switch (character) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      default:
        html += character;
    }
  }
  return html;
}

}  // namespace brisklane
