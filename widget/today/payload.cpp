#include "widget/today/payload.h"

#include "widget/today/payload_json.h"

#include <simdjson.h>
#include <utf8proc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace brisklane {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

PayloadError failure(std::string path, std::string message) {
  return PayloadError{std::move(path), std::move(message)};
}

// Finds the value of `key` in `object`, the last one when it occurs twice.
std::optional<element> member(simdjson::dom::object object, std::string_view key) {
  std::optional<element> found;
  for (auto field : object) {
    if (field.key == key) found = field.value;
  }
  return found;
}

// An optional text: missing or null give nothing, a string gives its text,
// anything else breaks the format.
std::optional<PayloadError> readOptionalText(simdjson::dom::object object, std::string_view key,
                                             const std::string& path,
                                             std::optional<std::string>& into) {
  std::optional<element> value = member(object, key);
  if (!value || value->is_null()) return std::nullopt;
  std::string_view text;
  if (value->get_string().get(text) != simdjson::SUCCESS) {
    return failure(path + "." + std::string(key), "must be a string or null");
  }
  into.emplace(text);
  return std::nullopt;
}

std::optional<std::int64_t> wholeNumber(element value) {
  switch (value.type()) {
    case element_type::INT64:
      return value.get_int64().value_unsafe();
    case element_type::DOUBLE: {
      // 3.0 or 1e2 are whole numbers too, when the double is one within range.
      double number = value.get_double().value_unsafe();
      constexpr double limit = 9223372036854775808.0;  // 2^63
      if (std::trunc(number) == number && number >= -limit && number < limit) {
        return static_cast<std::int64_t>(number);
      }
      return std::nullopt;
    }
    default:
      return std::nullopt;  // UINT64 holds only values above the signed range
  }
}

std::variant<TodayItem, PayloadError> decodeItem(element value, const std::string& path) {
  simdjson::dom::object object;
  if (value.get_object().get(object) != simdjson::SUCCESS) {
    return failure(path, "must be an object");
  }
  TodayItem item;
  std::optional<element> title = member(object, "title");
  if (!title || title->is_null()) return failure(path + ".title", "is required");
  std::string_view titleText;
  if (title->get_string().get(titleText) != simdjson::SUCCESS) {
    return failure(path + ".title", "must be a string");
  }
  item.title = titleText;
  if (auto error = readOptionalText(object, "project", path, item.project)) return *error;
  return item;
}

std::variant<TodayPayload, PayloadError> decodeDocument(element root) {
  simdjson::dom::object object;
  if (root.get_object().get(object) != simdjson::SUCCESS) {
    return failure("$", "must be an object");
  }
  TodayPayload payload;
  if (auto error = readOptionalText(object, "tier", "$", payload.tier)) return *error;

  std::optional<element> count = member(object, "count");
  if (!count || count->is_null()) return failure("$.count", "is required");
  std::optional<std::int64_t> whole = wholeNumber(*count);
  if (!whole) return failure("$.count", "must be a whole number within signed 64 bits");
  payload.count = *whole;

  std::optional<element> items = member(object, "items");
  if (!items || items->is_null()) return failure("$.items", "is required");
  simdjson::dom::array array;
  if (items->get_array().get(array) != simdjson::SUCCESS) {
    return failure("$.items", "must be an array");
  }
  payload.items.reserve(array.size());
  std::size_t index = 0;
  for (element value : array) {
    auto item = decodeItem(value, "$.items[" + std::to_string(index++) + "]");
    if (auto* error = std::get_if<PayloadError>(&item)) return std::move(*error);
    payload.items.push_back(std::get<TodayItem>(std::move(item)));
  }

  if (auto error = readOptionalText(object, "updatedAt", "$", payload.updatedAt)) return *error;
  return payload;
}

// NFD of `text`; nothing when it is not valid UTF-8.
std::optional<std::string> decomposed(std::string_view text) {
  utf8proc_uint8_t* result = nullptr;
  utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &result,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE));
  std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(result, &std::free);
  if (length < 0) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(result), static_cast<std::size_t>(length));
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// FNV-1a, fed piece by piece.
struct Hasher {
  std::uint64_t state = 14695981039346656037ull;
  void feed(std::string_view bytes) {
    for (unsigned char byte : bytes) {
      state ^= byte;
      state *= 1099511628211ull;
    }
  }
  // Texts that are canonically equivalent feed the same bytes.
  void feedCanonical(std::string_view text) {
    if (isAscii(text)) return feed(text);
    std::optional<std::string> form = decomposed(text);
    feed(form ? std::string_view(*form) : text);
  }
};

}  // namespace

bool canonicallyEquivalent(std::string_view left, std::string_view right) {
  if (left == right) return true;
  if (isAscii(left) && isAscii(right)) return false;
  std::optional<std::string> leftForm = decomposed(left);
  std::optional<std::string> rightForm = decomposed(right);
  if (!leftForm || !rightForm) return false;  // invalid UTF-8 equals only itself
  return *leftForm == *rightForm;
}

bool operator==(const TodayItem& left, const TodayItem& right) {
  if (left.project.has_value() != right.project.has_value()) return false;
  return canonicallyEquivalent(left.title, right.title) &&
         (!left.project || canonicallyEquivalent(*left.project, *right.project));
}

std::variant<TodayPayload, PayloadError> decodePayload(std::string_view json) {
  if (json.size() > maximumPayloadBytes) {
    return failure("$", "is larger than " + std::to_string(maximumPayloadBytes) + " bytes");
  }
  simdjson::dom::parser parser(maximumPayloadBytes);
  element root;
  if (auto error = parser.parse(json.data(), json.size()).get(root); error != simdjson::SUCCESS) {
    return failure("$", std::string("is not JSON: ") + simdjson::error_message(error));
  }
  return decodeDocument(root);
}

nlohmann::ordered_json payloadJson(const TodayPayload& payload) {
  nlohmann::ordered_json document;
  if (payload.tier) document["tier"] = *payload.tier;
  document["count"] = payload.count;
  document["items"] = nlohmann::ordered_json::array();
  for (const TodayItem& item : payload.items) {
    nlohmann::ordered_json object;
    object["title"] = item.title;
    if (item.project) object["project"] = *item.project;
    document["items"].push_back(std::move(object));
  }
  if (payload.updatedAt) document["updatedAt"] = *payload.updatedAt;
  return document;
}

std::string encodePayload(const TodayPayload& payload) {
  // Text that is not UTF-8 cannot come from a decoded document; a record
  // built with it is written with U+FFFD in place of the bad bytes.
  return payloadJson(payload).dump(-1, ' ', false,
                                   nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace brisklane

std::size_t std::hash<brisklane::TodayItem>::operator()(
    const brisklane::TodayItem& item) const noexcept {
  brisklane::Hasher hasher;
  hasher.feedCanonical(item.title);
  constexpr char absent = 0, present = 1;
  hasher.feed(std::string_view(item.project ? &present : &absent, 1));
  if (item.project) hasher.feedCanonical(*item.project);
  return static_cast<std::size_t>(hasher.state);
}
