#include "widget/swiftui/view.h"

#include <gtest/gtest.h>

#include <atomic>

namespace brisklane {
namespace {

TEST(ResolvedText, ShowsVerbatimTextUnchanged) {
  EXPECT_EQ(resolvedText(VerbatimText{"100%lld \xE2\x9C\x93"}), "100%lld \xE2\x9C\x93");
}

TEST(ResolvedText, ReplacesTheSpecifierOfAnUntranslatedKey) {
  EXPECT_EQ(resolvedText(LocalizedStringKey{"+%lld more", 7}), "+7 more");
  EXPECT_EQ(resolvedText(LocalizedStringKey{"%lld", -9223372036854775807LL - 1}),
            "-9223372036854775808");
  EXPECT_EQ(resolvedText(LocalizedStringKey{"\xE2\x80\xA2", std::nullopt}), "\xE2\x80\xA2");
}

TEST(ResolvedText, KeepsTheSpecifierOfAKeyWithoutArgument) {
  EXPECT_EQ(resolvedText(LocalizedStringKey{"%lld", std::nullopt}), "%lld");
}

TEST(ResolvedText, FormatsTheTranslationWhenTheTableHasOne) {
  StringTable table{{"+%lld more", "encore %lld"}};
  EXPECT_EQ(resolvedText(LocalizedStringKey{"+%lld more", 4}, table), "encore 4");
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

TEST(Evaluated, RunsEachReaderWithTheHostEnvironment) {
  auto evaluations = std::make_shared<std::atomic<int>>(0);
  View tree =
      View(VStack{.children = {environmentReader(FamilyName{evaluations}), Spacer{}}}).padding(14);
  EXPECT_EQ(*evaluations, 0) << "building a tree evaluates nothing";

  View medium = evaluated(tree, EnvironmentValues{.widgetFamily = WidgetFamily::systemMedium});
  View expected = View(VStack{.children = {Text::verbatim("systemMedium"), Spacer{}}}).padding(14);
  EXPECT_EQ(medium, expected);
  EXPECT_EQ(*evaluations, 1);
  View inline_ =
      View(VStack{.children = {Text::verbatim("accessoryInline"), Spacer{}}}).padding(14);
  EXPECT_EQ(evaluated(tree, EnvironmentValues{.widgetFamily = WidgetFamily::accessoryInline}),
            inline_);
}

TEST(Evaluated, SharesSubtreesThatReadNothing) {
  View tree = HStack{.children = {Text::verbatim("a"), Spacer{.minLength = 2}}};
  EXPECT_TRUE(evaluated(tree, {}).isIdentical(tree));
}

TEST(ViewEquality, TellsTheHostDefaultFromZero) {
  EXPECT_NE(View(Spacer{}), View(Spacer{.minLength = 0}));
  EXPECT_NE(View(VStack{.spacing = 0}), View(VStack{}));
  EXPECT_EQ(View(Spacer{.minLength = 0.0}), View(Spacer{.minLength = 0}));
}

TEST(ViewEquality, ComparesModifiersAndTheirContent) {
  View text = Text::key("%lld", 3);
  EXPECT_EQ(text.font(Font::system(22, FontWeight::heavy)),
            View(Text::key("%lld", 3)).font(Font::system(22, FontWeight::heavy)));
  EXPECT_NE(text.font(Font::system(22, FontWeight::heavy)), text.font(Font::system(22)));
  EXPECT_NE(text.font(Font::system(22)), text.font(Font::system(22, FontWeight::regular)))
      << "no weight given is not the same as an explicit regular";
  EXPECT_NE(text.frame({.maxWidth = unbounded}), text.frame({.maxWidth = 1e9}));
}

TEST(ViewWalking, ReachesContentAndChildrenGenerically) {
  View leaf = Text::verbatim("x");
  View modified = leaf.lineLimit(1).widgetURL(URL::fromString("brisklane://today"));
  const View* content = modifiedContent(modified.node());
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(kindName(modified.node()), "widgetURL");
  EXPECT_EQ(kindName(content->node()), "lineLimit");
  EXPECT_EQ(modifiedContent(leaf.node()), nullptr);
  View stack = ZStack{.children = {leaf, modified}};
  EXPECT_EQ(stackChildren(stack.node()).size(), 2u);
  EXPECT_TRUE(stackChildren(leaf.node()).empty());
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
