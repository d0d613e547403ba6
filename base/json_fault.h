// Where and why a text stops being JSON, in the JSON reader's own words, for
// decoders that parse with another reader or without exceptions and still
// owe their caller a reason. Reads the text once and builds nothing.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace brisklane {

struct JsonFault {
  std::size_t offset;       // of the byte that cannot continue the text
  int id;                   // the reader's error id
  std::string description;  // the reader's message

  // A number too large for a double.
  [[nodiscard]] bool isNumberOutOfRange() const { return id == 406; }
};

namespace detail {

class JsonFaultReader final : public nlohmann::json_sax<nlohmann::json> {
 public:
  std::optional<JsonFault> found;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) override {
    // `position` counts the bytes read, the offending one included.
    found = JsonFault{position > 0 ? position - 1 : 0, error.id, error.what()};
    return false;
  }
};

}  // namespace detail

// The first fault of `text`; nothing when it is JSON.
[[nodiscard]] inline std::optional<JsonFault> firstJsonFault(std::string_view text) {
  detail::JsonFaultReader reader;
  nlohmann::json::sax_parse(text.data(), text.data() + text.size(), &reader,
                            nlohmann::json::input_format_t::json, true);
  return reader.found;
}

}  // namespace brisklane
