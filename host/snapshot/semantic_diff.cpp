#include "host/snapshot/semantic_diff.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

// --- Reading a report: each reader fills `into` and answers true, or names
// what is wrong in `problem` ---

struct Decoding {
  std::string problem;

  bool fail(const std::string& path, std::string_view what) {
    problem = path + " " + std::string(what);
    return false;
  }
};

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

bool readNumber(const Json& object, std::string_view key, const std::string& at, double& into,
                Decoding& decoding) {
  const Json* value = member(object, key);
  if (value == nullptr || !value->is_number())
    return decoding.fail(at + std::string(key), "is not a number");
  into = value->get<double>();
  return std::isfinite(into) || decoding.fail(at + std::string(key), "is not a finite number");
}

// A string, or null read as "".
bool readText(const Json& object, std::string_view key, const std::string& at, std::string& into,
              Decoding& decoding) {
  const Json* value = member(object, key);
  if (value != nullptr && value->is_null()) return true;
  if (value == nullptr || !value->is_string())
    return decoding.fail(at + std::string(key), "is not a string");
  into = value->get<std::string>();
  return true;
}

bool readFrame(const Json& object, const std::string& at, ReportedFrame& into, Decoding& decoding) {
  const Json* frame = member(object, "frame");
  if (frame == nullptr || !frame->is_object())
    return decoding.fail(at + "frame", "is not an object");
  const std::string path = at + "frame.";
  return readNumber(*frame, "x", path, into.x, decoding) &&
         readNumber(*frame, "y", path, into.y, decoding) &&
         readNumber(*frame, "width", path, into.width, decoding) &&
         readNumber(*frame, "height", path, into.height, decoding);
}

bool readItem(const Json& item, const std::string& at, ReportedText& into, Decoding& decoding) {
  const Json* font = member(item, "font");
  if (font == nullptr) return decoding.fail(at + "font", "is not an object");
  const Json* lineLimit = member(item, "lineLimit");
  const Json* cut = member(item, "cut");
  if (lineLimit != nullptr && lineLimit->is_number_integer()) {
    into.lineLimit = lineLimit->get<int>();
  } else if (lineLimit != nullptr && !lineLimit->is_null()) {
    return decoding.fail(at + "lineLimit", "is neither a whole number nor null");
  }
  if (cut == nullptr || !cut->is_boolean())
    return decoding.fail(at + "cut", "is not true or false");
  into.cut = cut->get<bool>();
  return readText(item, "region", at, into.region, decoding) &&
         readText(item, "text", at, into.text, decoding) &&
         readFrame(item, at, into.frame, decoding) &&
         readNumber(*font, "size", at + "font.", into.fontSize, decoding) &&
         readText(*font, "weight", at + "font.", into.fontWeight, decoding) &&
         readText(item, "color", at, into.color, decoding);
}

bool readItem(const Json& item, const std::string& at, ReportedSymbol& into, Decoding& decoding) {
  return readText(item, "region", at, into.region, decoding) &&
         readText(item, "symbol", at, into.symbol, decoding) &&
         readFrame(item, at, into.frame, decoding) &&
         readText(item, "color", at, into.color, decoding);
}

bool readItem(const Json& item, const std::string& at, ReportedFill& into, Decoding& decoding) {
  return readText(item, "region", at, into.region, decoding) &&
         readFrame(item, at, into.frame, decoding) &&
         readText(item, "color", at, into.color, decoding);
}

bool readItem(const Json& item, const std::string& at, ReportedTapTarget& into,
              Decoding& decoding) {
  return readFrame(item, at, into.frame, decoding) && readText(item, "url", at, into.url, decoding);
}

template <class Item>
bool readList(const Json& report, std::string_view key, std::vector<Item>& into,
              Decoding& decoding) {
  const Json* list = member(report, key);
  if (list == nullptr || !list->is_array()) return decoding.fail(std::string(key), "is not a list");
  into.resize(list->size());
  for (std::size_t index = 0; index < list->size(); ++index) {
    const std::string at = std::string(key) + "[" + std::to_string(index) + "].";
    if (!(*list)[index].is_object())
      return decoding.fail(at.substr(0, at.size() - 1), "is not an object");
    if (!readItem((*list)[index], at, into[index], decoding)) return false;
  }
  return true;
}

// --- Telling the differences ---

// "112", "4.5": points to a tenth, without a trailing ".0".
std::string points(double value) {
  const double tenths = std::round(value * 10) / 10;
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%g", tenths == 0 ? 0.0 : tenths);
  return text.data();
}

std::string inQuotes(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// The parts joined, in one allocation.
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string line;
  for (std::string_view part : parts) line += part;
  return line;
}

std::string regionName(const std::string& region) {
  return region.empty() ? "widget" : region;
}

// "moved 4 pt down", "moved 3 pt left and 2 pt up"; empty when it did not.
std::string movement(const ReportedFrame& before, const ReportedFrame& now) {
  const double across = now.x - before.x;
  const double down = now.y - before.y;
  std::vector<std::string> parts;
  if (std::abs(across) >= 0.5)
    parts.push_back(points(std::abs(across)) + " pt " + (across > 0 ? "right" : "left"));
  if (std::abs(down) >= 0.5)
    parts.push_back(points(std::abs(down)) + " pt " + (down > 0 ? "down" : "up"));
  if (parts.empty()) return {};
  return "moved " + parts.front() + (parts.size() > 1 ? " and " + parts.back() : "");
}

std::string dimensions(const ReportedFrame& frame) {
  return points(frame.width) + "×" + points(frame.height) + " pt";
}

bool resized(const ReportedFrame& before, const ReportedFrame& now) {
  return std::abs(now.width - before.width) >= 0.5 || std::abs(now.height - before.height) >= 0.5;
}

std::string lineLimitText(const std::optional<int>& limit) {
  return limit ? std::to_string(*limit) : "none";
}

class Lines {
 public:
  void add(std::string line) {
    if (seen_.insert(line).second) lines_.push_back(std::move(line));
  }
  [[nodiscard]] std::vector<std::string> take() { return std::move(lines_); }

 private:
  std::set<std::string> seen_;
  std::vector<std::string> lines_;
};

// The items of each region, the regions in the order they first appear in
// `before`, then in `now`.
template <class Item>
struct RegionPairs {
  std::vector<std::string> order;
  std::map<std::string, std::pair<std::vector<const Item*>, std::vector<const Item*>>> items;
};

template <class Item>
RegionPairs<Item> byRegion(const std::vector<Item>& before, const std::vector<Item>& now) {
  RegionPairs<Item> pairs;
  const auto place = [&pairs](const Item& item, bool isNow) {
    auto [found, inserted] = pairs.items.try_emplace(item.region);
    if (inserted) pairs.order.push_back(item.region);
    (isNow ? found->second.second : found->second.first).push_back(&item);
  };
  for (const Item& item : before) place(item, false);
  for (const Item& item : now) place(item, true);
  return pairs;
}

// Calls `tell(item, isNew)` for each item past the `paired` ones: gone from
// `was`, new in `is`.
template <class Item, class Tell>
void tellUnpaired(const std::vector<const Item*>& was, const std::vector<const Item*>& is,
                  std::size_t paired, Tell tell) {
  for (std::size_t index = paired; index < was.size(); ++index) tell(*was[index], false);
  for (std::size_t index = paired; index < is.size(); ++index) tell(*is[index], true);
}

std::string shownTexts(const std::vector<const ReportedText*>& texts) {
  std::string shown;
  for (const ReportedText* text : texts)
    shown += (shown.empty() ? "" : ", ") + inQuotes(text->text);
  return shown;
}

void compareText(const std::string& region, const ReportedText& before, const ReportedText& now,
                 Lines& lines) {
  const std::string subject = region + ": the text " + inQuotes(now.text);
  if (before.text != now.text) {
    lines.add(region + ": the text " + inQuotes(before.text) + " is now " + inQuotes(now.text));
  }
  if (now.cut && !before.cut)
    lines.add(subject + " is cut at " + points(now.frame.width) + " pt (was whole)");
  if (!now.cut && before.cut)
    lines.add(subject + " is whole (was cut at " + points(before.frame.width) + " pt)");
  if (before.fontSize != now.fontSize || before.fontWeight != now.fontWeight) {
    lines.add(subject + " is set in " + points(now.fontSize) + " pt " + now.fontWeight + " (was " +
              points(before.fontSize) + " pt " + before.fontWeight + ")");
  }
  if (before.color != now.color) lines.add(region + ": colour " + before.color + " → " + now.color);
  if (before.lineLimit != now.lineLimit) {
    lines.add(subject + " has a line limit of " + lineLimitText(now.lineLimit) + " (was " +
              lineLimitText(before.lineLimit) + ")");
  }
}

void compareTexts(const std::vector<ReportedText>& before, const std::vector<ReportedText>& now,
                  Lines& lines) {
  const RegionPairs<ReportedText> pairs = byRegion(before, now);
  for (const std::string& key : pairs.order) {
    const auto& [was, is] = pairs.items.at(key);
    const std::string region = regionName(key);
    if (is.empty()) {
      lines.add(region + " is gone (it showed " + shownTexts(was) + ")");
      continue;
    }
    if (was.empty()) {
      lines.add(region + " is new (it shows " + shownTexts(is) + ")");
      continue;
    }
    const std::size_t paired = std::min(was.size(), is.size());
    std::set<std::string> moves;
    for (std::size_t index = 0; index < paired; ++index) {
      compareText(region, *was[index], *is[index], lines);
      moves.insert(movement(was[index]->frame, is[index]->frame));
    }
    // A region that moved as one is told once; texts that moved apart each.
    if (moves.size() == 1 && !key.empty()) {
      if (!moves.begin()->empty()) lines.add(region + " " + *moves.begin());
    } else {
      for (std::size_t index = 0; index < paired; ++index) {
        const std::string moved = movement(was[index]->frame, is[index]->frame);
        if (!moved.empty())
          lines.add(joined({region, ": the text ", inQuotes(is[index]->text), " ", moved}));
      }
    }
    tellUnpaired(was, is, paired, [&](const ReportedText& text, bool isNew) {
      lines.add(
          joined({region, ": the text ", inQuotes(text.text), isNew ? " is new" : " is gone"}));
    });
  }
}

void compareSymbols(const std::vector<ReportedSymbol>& before,
                    const std::vector<ReportedSymbol>& now, Lines& lines) {
  const RegionPairs<ReportedSymbol> pairs = byRegion(before, now);
  for (const std::string& key : pairs.order) {
    const auto& [was, is] = pairs.items.at(key);
    const std::string region = regionName(key);
    const std::size_t paired = std::min(was.size(), is.size());
    for (std::size_t index = 0; index < paired; ++index) {
      const std::string subject = region + ": the symbol " + inQuotes(is[index]->symbol);
      if (was[index]->symbol != is[index]->symbol) {
        lines.add(region + ": the symbol " + inQuotes(was[index]->symbol) + " is now " +
                  inQuotes(is[index]->symbol));
      }
      if (was[index]->color != is[index]->color) {
        lines.add(subject + " colour " + was[index]->color + " → " + is[index]->color);
      }
      if (const std::string moved = movement(was[index]->frame, is[index]->frame); !moved.empty()) {
        lines.add(joined({subject, " ", moved}));
      }
    }
    tellUnpaired(was, is, paired, [&](const ReportedSymbol& symbol, bool isNew) {
      lines.add(joined(
          {region, ": the symbol ", inQuotes(symbol.symbol), isNew ? " is new" : " is gone"}));
    });
  }
}

void compareFills(const std::vector<ReportedFill>& before, const std::vector<ReportedFill>& now,
                  Lines& lines) {
  const RegionPairs<ReportedFill> pairs = byRegion(before, now);
  for (const std::string& key : pairs.order) {
    const auto& [was, is] = pairs.items.at(key);
    const std::string region = regionName(key);
    const std::size_t paired = std::min(was.size(), is.size());
    for (std::size_t index = 0; index < paired; ++index) {
      if (was[index]->color != is[index]->color) {
        lines.add(region + ": background " + was[index]->color + " → " + is[index]->color);
      }
      if (const std::string moved = movement(was[index]->frame, is[index]->frame); !moved.empty()) {
        lines.add(joined({region, ": the ", is[index]->color, " background ", moved}));
      }
      if (resized(was[index]->frame, is[index]->frame)) {
        lines.add(region + ": the " + is[index]->color + " background is " +
                  dimensions(is[index]->frame) + " (was " + dimensions(was[index]->frame) + ")");
      }
    }
    tellUnpaired(was, is, paired, [&](const ReportedFill& fill, bool isNew) {
      lines.add(isNew ? joined({region, ": a ", fill.color, " background is new"})
                      : joined({region, ": the ", fill.color, " background is gone"}));
    });
  }
}

void compareTapTargets(const std::vector<ReportedTapTarget>& before,
                       const std::vector<ReportedTapTarget>& now, Lines& lines) {
  const std::size_t paired = std::min(before.size(), now.size());
  for (std::size_t index = 0; index < paired; ++index) {
    if (before[index].url != now[index].url) {
      lines.add("the tap target opens " + now[index].url + " (was " + before[index].url + ")");
    }
    if (const std::string moved = movement(before[index].frame, now[index].frame); !moved.empty()) {
      lines.add("the tap target " + moved);
    }
    if (resized(before[index].frame, now[index].frame)) {
      lines.add("the tap target is " + dimensions(now[index].frame) + " (was " +
                dimensions(before[index].frame) + ")");
    }
  }
  for (std::size_t index = paired; index < before.size(); ++index) {
    lines.add("tap target lost (" + before[index].url + ")");
  }
  for (std::size_t index = paired; index < now.size(); ++index) {
    lines.add("new tap target (" + now[index].url + ")");
  }
}

}  // namespace

Result<ReportedLayout> decodeLayoutReport(std::string_view json) {
  const Json report = Json::parse(json, nullptr, false);
  if (report.is_discarded()) return Failure{std::string("it is not JSON")};
  if (!report.is_object()) return Failure{std::string("it is not a JSON object")};
  ReportedLayout layout;
  Decoding decoding;
  const Json* size = member(report, "size");
  const bool read = readText(report, "kind", "", layout.kind, decoding) &&
                    readText(report, "family", "", layout.family, decoding) &&
                    readText(report, "deviceClass", "", layout.deviceClass, decoding) &&
                    (size != nullptr || decoding.fail("size", "is not an object")) &&
                    readNumber(*size, "width", "size.", layout.width, decoding) &&
                    readNumber(*size, "height", "size.", layout.height, decoding) &&
                    readList(report, "texts", layout.texts, decoding) &&
                    readList(report, "symbols", layout.symbols, decoding) &&
                    readList(report, "fills", layout.fills, decoding) &&
                    readList(report, "tapTargets", layout.tapTargets, decoding);
  if (!read) return Failure{decoding.problem};
  return layout;
}

std::vector<std::string> semanticDifferences(const ReportedLayout& before,
                                             const ReportedLayout& now) {
  Lines lines;
  const auto widgetOf = [](const ReportedLayout& layout) {
    return layout.kind + " " + layout.family + " on " + layout.deviceClass;
  };
  if (widgetOf(before) != widgetOf(now)) {
    lines.add("the picture is of " + widgetOf(now) + " (was " + widgetOf(before) + ")");
  }
  const ReportedFrame was{0, 0, before.width, before.height};
  const ReportedFrame is{0, 0, now.width, now.height};
  if (resized(was, is))
    lines.add("the widget is " + dimensions(is) + " (was " + dimensions(was) + ")");
  compareTexts(before.texts, now.texts, lines);
  compareSymbols(before.symbols, now.symbols, lines);
  compareFills(before.fills, now.fills, lines);
  compareTapTargets(before.tapTargets, now.tapTargets, lines);
  return lines.take();
}

}  // namespace brisklane
