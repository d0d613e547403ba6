#include "widget/today/payload.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <sstream>
#include <unordered_set>

#include "tests/support/temporary_device.h"

namespace brisklane {

void PrintTo(const PayloadError& error, std::ostream* out) {
  *out << describe(error);
}

namespace {

std::optional<TodayPayload> decoded(std::string_view json) {
  auto result = decodePayload(json);
  if (!result) return std::nullopt;
  return std::move(result).value();
}

// What the diagnostic command prints for `json`.
std::string reasonOf(std::string_view json) {
  const auto result = decodePayload(json);
  EXPECT_FALSE(result) << json;
  return result ? "(decoded)" : describe(result.reason());
}

TEST(PayloadDecoding, AcceptsEveryValidDocumentOfTheCorpusAndRejectsEveryInvalidOne) {
  int valid = 0, invalid = 0;
  for (const auto& [name, bytes] : testing::corpusFiles("payload")) {
    const bool isValid = name.starts_with("valid-");
    EXPECT_EQ(decoded(bytes).has_value(), isValid) << name;
    ++(isValid ? valid : invalid);
  }
  EXPECT_GE(valid, 8);
  EXPECT_GE(invalid, 20);
}

// Fields are read by their exact keys in any order and others ignored; null is
// absent and "" empty; a count is any whole number within signed 64 bits,
// however written. What was read is shown encoded, each field as it is held.
TEST(PayloadDecoding, ReadsEveryFieldByItsExactKeyAndCountAsAWholeNumber) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {R"({"updatedAt":"yesterday-ish","items":[{"project":"P","title":"b"},{"title":"a",)"
       R"("Project":"p","extra":{"deep":[1,{"x":null}]}}],"Tier":"x","count":-4,"tier":"important"})",
       R"({"tier":"important","count":-4,"items":[{"title":"b","project":"P"},{"title":"a"}],)"
       R"("updatedAt":"yesterday-ish"})"},
      {R"({"tier":null,"count":1,"items":[{"title":"t","project":null}],"updatedAt":null})",
       R"({"count":1,"items":[{"title":"t"}]})"},
      {R"({"tier":"","count":1,"items":[{"title":"","project":""}],"updatedAt":""})",
       R"({"tier":"","count":1,"items":[{"title":"","project":""}],"updatedAt":""})"},
      {R"({"count":9223372036854775807,"items":[]})",
       R"({"count":9223372036854775807,"items":[]})"},
      {R"({"count":-9223372036854775808,"items":[]})",
       R"({"count":-9223372036854775808,"items":[]})"},
      {R"({"count":3.0,"items":[]})", R"({"count":3,"items":[]})"},
      {R"({"count":1e2,"items":[]})", R"({"count":100,"items":[]})"},
      {R"({"count":-0,"items":[]})", R"({"count":0,"items":[]})"},
  };
  for (const auto& [json, read] : cases) {
    const auto payload = decoded(json);
    EXPECT_EQ(payload ? encodePayload(*payload) : "(rejected)", read) << json;
  }
  EXPECT_EQ(reasonOf(R"({"Count":1,"items":[]})"), R"("count" is missing)");
}

// Each message once; that every field is checked, the corpus's documents show.
TEST(PayloadDecoding, NamesTheFirstRuleADocumentBreaksAndWhere) {
  const struct {
    std::string json;
    std::string reason;
  } cases[] = {
      {R"({"count":2.5,"items":[]})", "count: 2.5 is not a whole number"},
      {R"({"count":1e-1,"items":[]})", "count: 0.1 is not a whole number"},
      {R"({"count":9223372036854775808,"items":[]})",
       "count: 9223372036854775808 is outside the signed 64-bit range"},
      {R"({"count":9.2233720368547758e18,"items":[]})",
       "count: 9223372036854775808 is outside the signed 64-bit range"},
      {R"({"count":"3","items":[]})", "count: expected a whole number, found a string"},
      {R"({"count":true,"items":[]})", "count: expected a whole number, found a Boolean"},
      {R"({"count":[3],"items":[]})", "count: expected a whole number, found an array"},
      {R"({"items":[]})", R"("count" is missing)"},
      {R"({"count":1,"items":null})", "items: expected an array, found null"},
      {R"({"count":1,"items":{}})", "items: expected an array, found an object"},
      {R"({"count":2,"items":[{"title":"ok"},{"project":"p"}]})",
       R"(items[1]: "title" is missing)"},
      {R"({"count":1,"items":[{"title":5}]})", "items[0].title: expected a string, found a number"},
      {R"({"count":2,"items":[{"title":"ok"},{"title":"b","project":7}]})",
       "items[1].project: expected a string, found a number"},
      {R"([{"count":0,"items":[]}])", "expected an object, found an array"},
      {"{\"tier\":\"\xff\",\"count\":1,\"items\":[]}", "not valid UTF-8 at byte 9"},
      {"{\"count\":1,\"items\":[],\"x\":\"\xc3\"}", "not valid UTF-8 at byte 27"},
      {"{\"count\":1,\"items\":[],\"x\":\"\xed\xa0\x80\"}", "not valid UTF-8 at byte 27"},
      {"", "not JSON: the text is empty"},
      {" \n", "not JSON: the text is empty"},
      {R"({"count":1,"items":[)", "not JSON: the text ends early"},
      {R"({"count":1,"items":[],})", "not JSON: unexpected byte at byte 22"},
      {std::string("{\"count\":1,\0\"items\":[]}", 23), "not JSON: unexpected byte at byte 11"},
      {R"({"count":1e400,"items":[]})",
       "not JSON the widget reads: a number out of range at byte 13"},
      {R"({"count":1,"items":[],"x":)" + std::string(2000, '[') + std::string(2000, ']') + "}",
       "not JSON the widget reads: nested deeper than 1024 levels"},
      {R"({"count":1,"items":[],"x":")" + std::string(maximumPayloadBytes, 'a') + "\"}",
       "16777245 bytes, more than the 16777216 the widget reads"},
  };
  for (const auto& [json, reason] : cases) EXPECT_EQ(reasonOf(json), reason) << json;
}

TEST(PayloadEncoding, LeavesAbsentOptionalsOutAndRoundTrips) {
  TodayPayload bare{
      .tier = std::nullopt, .count = 2, .items = {{"a", std::nullopt}}, .updatedAt = {}};
  EXPECT_EQ(encodePayload(bare), R"({"count":2,"items":[{"title":"a"}]})");
  TodayPayload full{.tier = "urgent",
                    .count = std::numeric_limits<std::int64_t>::min(),
                    .items = {{"Caf\xc3\xa9 \"q\"", ""}, {"b", "P"}},
                    .updatedAt = "2026"};
  std::string text = encodePayload(full);
  EXPECT_EQ(text, R"({"tier":"urgent","count":-9223372036854775808,"items":[{"title":"Café \"q\"",)"
                  R"("project":""},{"title":"b","project":"P"}],"updatedAt":"2026"})");
  EXPECT_EQ(encodePayload(decoded(text).value()), text);
}

TEST(TodayItemEquality, FollowsCanonicalEquivalenceAndHashesAlike) {
  TodayItem precomposed{"caf\xc3\xa9", "\xc3\x89t\xc3\xa9"};   // é, É precomposed
  TodayItem combining{"cafe\xcc\x81", "E\xcc\x81te\xcc\x81"};  // e + U+0301
  std::unordered_set<TodayItem> rows{precomposed, combining, {"cafe", std::nullopt}};
  EXPECT_EQ(rows.size(), 2u) << "the two forms are equal and hash alike";

  EXPECT_NE((TodayItem{"a", std::nullopt}), (TodayItem{"a", ""}));
  EXPECT_NE((TodayItem{"Task", std::nullopt}), (TodayItem{"task", std::nullopt}));
  // Compatibility forms are not canonical ones: "ﬁ" is not "fi".
  EXPECT_NE((TodayItem{"\xef\xac\x81", std::nullopt}), (TodayItem{"fi", std::nullopt}));
  // Invalid UTF-8 equals only itself.
  EXPECT_EQ((TodayItem{"\xff", std::nullopt}), (TodayItem{"\xff", std::nullopt}));
  EXPECT_NE((TodayItem{"\xff", std::nullopt}), (TodayItem{"\xfe", std::nullopt}));
}

// Unicode's own conformance data: in every line, c1, c2 and c3 are canonically
// equivalent, and so are c4 and c5. Comment and part lines give no five columns.
TEST(TodayItemEquality, AgreesWithUnicodeNormalizationTest) {
  const char* source = "/usr/share/unicode/NormalizationTest.txt.bz2";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << source << " is missing (unicode-data)";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((std::string("bzcat ") + source).c_str(), "r"),
                                             &::pclose);
  ASSERT_TRUE(pipe);
  char buffer[4096];
  int lines = 0;
  std::hash<TodayItem> hash;
  while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
    const std::string line(buffer);
    std::vector<std::string> columns;  // as UTF-8
    std::istringstream fields(line.substr(0, line.find('#')));
    for (std::string field; std::getline(fields, field, ';') && columns.size() < 5;) {
      std::istringstream codePoints(field);
      std::string& text = columns.emplace_back();
      utf8proc_uint8_t bytes[4];
      for (utf8proc_int32_t point = 0; codePoints >> std::hex >> point;) {
        text.append(reinterpret_cast<const char*>(bytes),
                    static_cast<std::size_t>(utf8proc_encode_char(point, bytes)));
      }
    }
    if (columns.size() < 5) continue;
    TodayItem c1{columns[0], columns[2]}, c2{columns[1], columns[1]}, c3{columns[2], columns[0]};
    TodayItem c4{columns[3], std::nullopt}, c5{columns[4], std::nullopt};
    ASSERT_EQ(c1, c2) << line;
    ASSERT_EQ(c1, c3) << line;
    ASSERT_EQ(c4, c5) << line;
    ASSERT_EQ(hash(c1), hash(c3)) << line;
    ASSERT_EQ(hash(c4), hash(c5)) << line;
    ++lines;
  }
  EXPECT_GT(lines, 18'000);
}

// The outside JSON conformance corpus: no document may crash the decoder, and
// none that JSON itself rejects may become a payload.
TEST(PayloadDecoding, RejectsEveryDocumentJsonRejects) {
  auto data = testing::sharedTestData();
  if (!data) GTEST_SKIP() << "../shared/testdata is not beside the project";
  int rejected = 0;
  for (const auto& file :
       std::filesystem::directory_iterator(*data / "jsontestsuite/test_parsing")) {
    auto bytes = testing::readFile(file.path());
    ASSERT_TRUE(bytes);
    const bool accepted = decoded(*bytes).has_value();
    if (file.path().filename().string().starts_with("n_")) {
      EXPECT_FALSE(accepted) << file.path();
      ++rejected;
    }
  }
  EXPECT_GT(rejected, 150);
}

}  // namespace
}  // namespace brisklane
