#include "widget/swiftui/view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

namespace brisklane {
namespace {

TEST(ResolvedText, FormatsTheKeyOrItsTranslationAndLeavesVerbatimTextAlone) {
  StringTable table{{"+%lld more", "encore %lld"}};
  EXPECT_EQ(resolvedText(VerbatimText{"100%lld \xE2\x9C\x93"}), "100%lld \xE2\x9C\x93");
  EXPECT_EQ(resolvedText(LocalizedStringKey{"%lld", INT64_MIN}), "-9223372036854775808");
  EXPECT_EQ(resolvedText(LocalizedStringKey{"%lld", std::nullopt}), "%lld");
  EXPECT_EQ(resolvedText(LocalizedStringKey{"Quick add", std::nullopt}, table), "Quick add");
}

struct FamilyName {
  static constexpr std::string_view typeName = "FamilyName";
  std::shared_ptr<std::atomic<int>> evaluations;
  View body(const EnvironmentValues& environment) const {
    ++*evaluations;
    return Text::verbatim(std::string(name(environment.widgetFamily)));
  }
};

TEST(Evaluated, RunsEachReaderWithTheHostEnvironmentAndSharesTheRest) {
  auto evaluations = std::make_shared<std::atomic<int>>(0);
  View tree =
      View(VStack{.children = {environmentReader(FamilyName{evaluations}), Spacer{}}}).padding(14);
  EXPECT_EQ(*evaluations, 0) << "building a tree evaluates nothing";

  View medium = evaluated(tree, EnvironmentValues{.widgetFamily = WidgetFamily::systemMedium});
  View expected = View(VStack{.children = {Text::verbatim("systemMedium"), Spacer{}}}).padding(14);
  EXPECT_EQ(medium, expected);
  EXPECT_EQ(*evaluations, 1);

  View readsNothing = HStack{.children = {Text::verbatim("a"), Spacer{.minLength = 2}}};
  EXPECT_TRUE(evaluated(readsNothing, {}).isIdentical(readsNothing)) << "shared, not copied";
}

TEST(ViewEquality, ComparesModifiersAndTellsTheHostDefaultFromZero) {
  EXPECT_NE(View(Spacer{}), View(Spacer{.minLength = 0}));
  EXPECT_NE(View(VStack{.spacing = 0}), View(VStack{}));
  EXPECT_EQ(View(Spacer{.minLength = 0.0}), View(Spacer{.minLength = 0}));
  View text = Text::key("%lld", 3);
  EXPECT_EQ(text.font(Font::system(22, FontWeight::heavy)),
            View(Text::key("%lld", 3)).font(Font::system(22, FontWeight::heavy)));
  EXPECT_NE(text.font(Font::system(22)), text.font(Font::system(22, FontWeight::regular)))
      << "no weight given is not the same as an explicit regular";
  EXPECT_NE(text.frame({.maxWidth = unbounded}), text.frame({.maxWidth = 1e9}));
}

TEST(Url, AcceptsTheDeepLinksAndRefusesWhatIsNoUri) {
  ASSERT_TRUE(URL::fromString("brisklane://today"));
  EXPECT_EQ(URL::fromString("brisklane://voice")->absoluteString, "brisklane://voice");
  EXPECT_TRUE(URL::fromString("path/only?q=a%20b"));
  EXPECT_FALSE(URL::fromString(""));
  EXPECT_FALSE(URL::fromString("has space://x"));
  EXPECT_FALSE(URL::fromString("brisklane://bad%2"));
  EXPECT_FALSE(URL::fromString("brisklane://bad%zz"));
  EXPECT_FALSE(URL::fromString("1scheme://x"));
  EXPECT_FALSE(URL::fromString("caf\xC3\xA9://x"));
}

}  // namespace
}  // namespace brisklane
