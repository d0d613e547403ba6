// What one Today timeline costs: open the store, read "today", decode it and
// build the entry. Beside it, the floor for the same row (SQLite's own open,
// select and close) and the JSON library's bare parse of the same bytes.
#include <simdjson.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "bench/support/ratio_main.h"
#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"
#include "widget/today/provider.h"

namespace brisklane {
namespace {

std::string summaryOf(int items) {
  std::string json = R"({"tier":"urgent","count":)" + std::to_string(items) + R"(,"items":[)";
  for (int i = 0; i < items; ++i) {
    json += (i ? "," : "") + std::string(R"({"title":"Send the gallery to the couple )") +
            std::to_string(i) + R"(","project":"Wedding"})";
  }
  return json + R"(],"updatedAt":"2026-12-07T08:00:00.000Z"})";
}

const std::string& typicalSummary() {
  static const std::string json = summaryOf(6);  // about 400 bytes
  return json;
}

const std::string& largeSummary() {
  static const std::string json = summaryOf(15'500);  // about 1 MB
  return json;
}

// A device root of its own, holding `json` under "today".
void publish(const std::string& json) {
  static std::string root = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "brisklane-bench.XXXXXX").string();
    ::mkdtemp(pattern.data());
    ::setenv("BRISKLANE_HOME", pattern.c_str(), 1);
    return pattern;
  }();
  UserDefaults::open(appGroupIdentifier)->set(json, todayKey);
}

void getTimeline(benchmark::State& state, const std::string& json) {
  publish(json);
  for (auto _ : state) {
    Provider{}.getTimeline({}, [](Timeline<TodayEntry> timeline) {
      if (!timeline.entries[0].payload) std::abort();
      benchmark::DoNotOptimize(timeline);
    });
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void sqliteFloor(benchmark::State& state, const std::string& json) {
  publish(json);
  std::string file = userDefaultsFile(appGroupIdentifier).string();
  for (auto _ : state) {
    sqlite3* connection = nullptr;
    sqlite3_open_v2(file.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                    nullptr);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(connection, "SELECT value FROM defaults WHERE key = ?1", -1, &select,
                       nullptr);
    sqlite3_bind_text(select, 1, "today", 5, SQLITE_STATIC);
    if (sqlite3_step(select) != SQLITE_ROW) std::abort();
    std::string value(static_cast<const char*>(sqlite3_column_blob(select, 0)),
                      static_cast<size_t>(sqlite3_column_bytes(select, 0)));
    benchmark::DoNotOptimize(value);
    sqlite3_finalize(select);
    sqlite3_close(connection);
  }
}

void decode(benchmark::State& state, const std::string& json) {
  for (auto _ : state) {
    auto payload = decodePayload(json);
    benchmark::DoNotOptimize(payload);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void bareParse(benchmark::State& state, const std::string& json) {
  for (auto _ : state) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(json).get(root) != simdjson::SUCCESS) std::abort();
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

BENCHMARK_CAPTURE(getTimeline, typical, typicalSummary());
BENCHMARK_CAPTURE(sqliteFloor, typical, typicalSummary());
BENCHMARK_CAPTURE(decode, typical, typicalSummary());
BENCHMARK_CAPTURE(bareParse, typical, typicalSummary());
BENCHMARK_CAPTURE(getTimeline, large, largeSummary());
BENCHMARK_CAPTURE(sqliteFloor, large, largeSummary());
BENCHMARK_CAPTURE(decode, large, largeSummary());
BENCHMARK_CAPTURE(bareParse, large, largeSummary());

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  return brisklane::bench::runWithRatios(argc, argv,
                                         {{"getTimeline/typical", "sqliteFloor/typical"},
                                          {"decode/typical", "bareParse/typical"},
                                          {"getTimeline/large", "sqliteFloor/large"},
                                          {"decode/large", "bareParse/large"}});
}
