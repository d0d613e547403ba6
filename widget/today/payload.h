// The Today summary that the web layer publishes: the records, their JSON
// wire format, and item equality under Unicode canonical equivalence.
//
// Decoding is strict: the top level must be an object; "count" and "items"
// are required and non-null; each of the six known keys, when present, must
// hold its JSON type; "count" must be a whole number within signed 64 bits;
// one bad item makes the whole document invalid. Unknown keys are ignored at
// both levels. Text that is not valid UTF-8 gives no payload.
//
// A document that is not a summary is told apart by the first rule it breaks
// and where. The widget drops that reason and the diagnostic command prints
// it; both come from this one decoder, so they never disagree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace brisklane {

struct TodayItem {
  std::string title;
  std::optional<std::string> project;

  // Canonically equivalent titles, and projects both absent or both present
  // and canonically equivalent.
  friend bool operator==(const TodayItem& left, const TodayItem& right);
};

struct TodayPayload {
  std::optional<std::string> tier;
  std::int64_t count = 0;  // may exceed items.size(); zero and negative are kept as they are
  std::vector<TodayItem> items;
  std::optional<std::string> updatedAt;  // the web layer's stamp, carried as text
};

// Why a document is not a summary: the first rule it breaks and where.
struct PayloadError {
  std::string path;     // e.g. "items[2].project"; empty for the document as a whole
  std::string message;  // e.g. "expected a string, found a number"; byte offsets count from 0

  friend bool operator==(const PayloadError&, const PayloadError&) = default;
};

// "items[3]: \"title\" is missing", or the message alone for the whole document.
[[nodiscard]] std::string describe(const PayloadError& error);

// Documents larger than this give no payload: the widget could not hold them.
inline constexpr std::size_t maximumPayloadBytes = std::size_t{16} * 1024 * 1024;

[[nodiscard]] Result<TodayPayload, PayloadError> decodePayload(std::string_view json);

// Writes the records in the wire format, absent optionals left out.
[[nodiscard]] std::string encodePayload(const TodayPayload& payload);

// Whether two texts are canonically equivalent (NFD of both compared).
[[nodiscard]] bool canonicallyEquivalent(std::string_view left, std::string_view right);

}  // namespace brisklane

// Consistent with canonical equivalence: feeds the title, a presence byte for
// the project (0 absent, 1 present), then the project, each in NFD.
template <>
struct std::hash<brisklane::TodayItem> {
  std::size_t operator()(const brisklane::TodayItem& item) const noexcept;
};
