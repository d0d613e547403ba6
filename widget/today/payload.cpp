#include "widget/today/payload.h"

#include "widget/today/payload_json.h"

#include <simdjson.h>
#include <utf8proc.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "base/json_fault.h"

namespace brisklane {
namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// Where a value sits in the document: "count", "items[2].title".
std::string child(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string_view typeName(element value) {
  switch (value.type()) {
    case element_type::ARRAY:
      return "an array";
    case element_type::OBJECT:
      return "an object";
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
      return "a number";
    case element_type::STRING:
      return "a string";
    case element_type::BOOL:
      return "a Boolean";
    case element_type::NULL_VALUE:
      return "null";
  }
  return "a value";
}

Failure<PayloadError> fault(std::string path, std::string message) {
  return Failure{PayloadError{.path = std::move(path), .message = std::move(message)}};
}

Failure<PayloadError> wrongType(std::string path, std::string_view expected, element found) {
  return fault(std::move(path),
               "expected " + std::string(expected) + ", found " + std::string(typeName(found)));
}

Failure<PayloadError> missing(std::string path, std::string_view key) {
  return fault(std::move(path), "\"" + std::string(key) + "\" is missing");
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
Result<std::optional<std::string>, PayloadError> optionalText(simdjson::dom::object object,
                                                              std::string_view key,
                                                              const std::string& path) {
  std::optional<element> value = member(object, key);
  if (!value || value->is_null()) return std::optional<std::string>();
  std::string_view text;
  if (value->get_string().get(text) != simdjson::SUCCESS) {
    return wrongType(child(path, key), "a string", *value);
  }
  return std::optional<std::string>(text);
}

// A number as the message quotes it: the shortest text that reads back as it.
std::string numberText(element value) {
  if (value.type() == element_type::UINT64)
    return std::to_string(value.get_uint64().value_unsafe());
  char text[32];
  auto written = std::to_chars(std::begin(text), std::end(text), value.get_double().value_unsafe());
  return std::string(text, written.ptr);
}

// "count": a whole number within signed 64 bits, or why not.
Result<std::int64_t, PayloadError> wholeNumber(element value) {
  switch (value.type()) {
    case element_type::INT64:
      return value.get_int64().value_unsafe();
    case element_type::UINT64:  // holds only values above the signed range
      return fault("count", numberText(value) + " is outside the signed 64-bit range");
    case element_type::DOUBLE: {
      // 3.0 or 1e2 are whole numbers too, when the double is one within range.
      double number = value.get_double().value_unsafe();
      constexpr double limit = 9223372036854775808.0;  // 2^63
      if (std::trunc(number) != number) {
        return fault("count", numberText(value) + " is not a whole number");
      }
      if (number < -limit || number >= limit) {
        return fault("count", numberText(value) + " is outside the signed 64-bit range");
      }
      return static_cast<std::int64_t>(number);
    }
    default:
      return wrongType("count", "a whole number", value);
  }
}

Result<TodayItem, PayloadError> decodeItem(element value, const std::string& path) {
  simdjson::dom::object object;
  if (value.get_object().get(object) != simdjson::SUCCESS) {
    return wrongType(path, "an object", value);
  }
  TodayItem item;
  std::optional<element> title = member(object, "title");
  if (!title) return missing(path, "title");
  std::string_view titleText;
  if (title->get_string().get(titleText) != simdjson::SUCCESS) {
    return wrongType(child(path, "title"), "a string", *title);
  }
  item.title = titleText;
  auto project = optionalText(object, "project", path);
  if (!project) return Failure{project.reason()};
  item.project = std::move(project).value();
  return item;
}

Result<TodayPayload, PayloadError> decodeDocument(element root) {
  simdjson::dom::object object;
  if (root.get_object().get(object) != simdjson::SUCCESS) {
    return wrongType("", "an object", root);
  }
  TodayPayload payload;
  auto tier = optionalText(object, "tier", "");
  if (!tier) return Failure{tier.reason()};
  payload.tier = std::move(tier).value();

  std::optional<element> count = member(object, "count");
  if (!count) return missing("", "count");
  const auto whole = wholeNumber(*count);
  if (!whole) return Failure{whole.reason()};
  payload.count = *whole;

  std::optional<element> items = member(object, "items");
  if (!items) return missing("", "items");
  simdjson::dom::array array;
  if (items->get_array().get(array) != simdjson::SUCCESS) {
    return wrongType("items", "an array", *items);
  }
  payload.items.reserve(array.size());
  std::size_t index = 0;
  for (element value : array) {
    auto item = decodeItem(value, "items[" + std::to_string(index++) + "]");
    if (!item) return Failure{item.reason()};
    payload.items.push_back(std::move(item).value());
  }

  auto updatedAt = optionalText(object, "updatedAt", "");
  if (!updatedAt) return Failure{updatedAt.reason()};
  payload.updatedAt = std::move(updatedAt).value();
  return payload;
}

// The offset of the first byte that does not belong to valid UTF-8.
std::optional<std::size_t> firstInvalidUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  std::size_t offset = 0;
  while (offset < text.size()) {
    utf8proc_int32_t codePoint = 0;
    utf8proc_ssize_t length = utf8proc_iterate(
        bytes + offset, static_cast<utf8proc_ssize_t>(text.size() - offset), &codePoint);
    if (length <= 0) return offset;
    offset += static_cast<std::size_t>(length);
  }
  return std::nullopt;
}

// Why a text simdjson refused is not JSON the widget reads, and where.
PayloadError notJson(std::string_view json, simdjson::error_code error) {
  if (error == simdjson::UTF8_ERROR) {
    if (auto offset = firstInvalidUtf8(json)) {
      return PayloadError{"", "not valid UTF-8 at byte " + std::to_string(*offset)};
    }
  }
  if (error == simdjson::DEPTH_ERROR) {
    return PayloadError{"", "not JSON the widget reads: nested deeper than " +
                                std::to_string(simdjson::DEFAULT_MAX_DEPTH) + " levels"};
  }
  if (const auto found = firstJsonFault(json)) {
    if (found->offset >= json.size()) {
      return PayloadError{"", json.find_first_not_of(" \t\r\n") == std::string_view::npos
                                  ? "not JSON: the text is empty"
                                  : "not JSON: the text ends early"};
    }
    return PayloadError{"",
                        std::string(found->isNumberOutOfRange() ? "not JSON the widget reads: a "
                                                                  "number out of range"
                                                                : "not JSON: unexpected byte") +
                            " at byte " + std::to_string(found->offset)};
  }
  if (error == simdjson::NUMBER_ERROR || error == simdjson::NUMBER_OUT_OF_RANGE) {
    return PayloadError{"", "not JSON the widget reads: a number out of range"};
  }
  return PayloadError{"", std::string("not JSON: ") + simdjson::error_message(error)};
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

Result<TodayPayload, PayloadError> decodePayload(std::string_view json) {
  if (json.size() > maximumPayloadBytes) {
    return fault("", std::to_string(json.size()) + " bytes, more than the " +
                         std::to_string(maximumPayloadBytes) + " the widget reads");
  }
  simdjson::dom::parser parser(maximumPayloadBytes);
  element root;
  if (auto error = parser.parse(json.data(), json.size()).get(root); error != simdjson::SUCCESS) {
    return Failure{notJson(json, error)};
  }
  return decodeDocument(root);
}

std::string describe(const PayloadError& error) {
  return error.path.empty() ? error.message : error.path + ": " + error.message;
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
