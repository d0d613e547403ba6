#include "host/render/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/host/render/widget_scenes.h"
#include "tests/support/temporary_device.h"
#include "widget/today/entry_view.h"
#include "widget/today/shared_store.h"

namespace brisklane {
namespace {

using testing::childrenOf;
using testing::findText;
using testing::firstIndexOf;
using testing::payloadOf;
using testing::todayScene;
using testing::voiceScene;

constexpr double tolerance = 1e-6;

// Every node's frame lies inside its parent's; with `Fit::widget`, the
// root's inside the widget as well.
enum class Fit { parents, widget };
void expectChildrenInsideParents(const LayoutResult& layout, Fit fit = Fit::widget) {
  const Rect canvas{{0, 0}, layout.canvas};
  for (const NodeLayout& node : layout.nodes) {
    if (node.parent < 0 && fit == Fit::parents) continue;
    const Rect& parent = node.parent < 0 ? canvas : layout.nodes[node.parent].frame;
    EXPECT_TRUE(parent.encloses(node.frame, tolerance))
        << kindName(*node.node) << " at (" << node.frame.minX() << ", " << node.frame.minY() << ") "
        << node.frame.size.width << "x" << node.frame.size.height << " sticks out of its "
        << (node.parent < 0 ? "widget" : kindName(*layout.nodes[node.parent].node));
  }
}

std::vector<std::optional<TodayPayload>> notableTodayPayloads() {
  return {std::nullopt,
          payloadOf("urgent", 3, 1, "Envoyer galerie"),
          payloadOf("urgent", 0, 2),
          payloadOf(std::nullopt, 4, 2),
          payloadOf("important", 10, 7),
          payloadOf("urgent", 2, 0),
          payloadOf("urgent", 1, 1, std::string(300, 'W'))};
}

class TodayLayout : public ::testing::TestWithParam<WidgetFamily> {
 protected:
  testing::TemporaryDevice device_;  // the no-payload message reads the store
};

// Five rows, the header and the overflow line need about 155 points, more
// than any medium widget has: that content alone may stick out of the widget
// and is then, as on the phone, centred in it and clipped at both ends.
TEST_P(TodayLayout, KeepsEveryChildInsideItsParentAndCentresContentTallerThanTheWidget) {
  for (const DeviceClass& device : deviceClasses) {
    for (const auto& payload : notableTodayPayloads()) {
      SCOPED_TRACE(std::string(device.name) + " count " +
                   std::to_string(payload ? payload->count : -1));
      const LayoutResult layout = todayScene(payload, GetParam(), device).layout;
      const bool fullRows = payload && payload->count > 3 && payload->items.size() >= 3;
      expectChildrenInsideParents(layout, fullRows ? Fit::parents : Fit::widget);
      if (fullRows && GetParam() == WidgetFamily::systemMedium) {
        const Rect& root = layout.nodes[0].frame;
        EXPECT_GT(root.size.height, layout.canvas.height);
        EXPECT_NEAR(-root.minY(), root.maxY() - layout.canvas.height, tolerance);
      }
    }
  }
}

// The children of the content's stack, inset by 14 points.
std::vector<const NodeLayout*> stackChildren(const LayoutResult& layout) {
  const int stack = firstIndexOf<VStack>(layout);
  EXPECT_GE(stack, 0);
  if (stack < 0) return {};
  const Size canvas = layout.canvas;
  EXPECT_EQ(layout.nodes[stack].frame, (Rect{{14, 14}, {canvas.width - 28, canvas.height - 28}}));
  return childrenOf(layout, stack);
}

// How many rows each family shows is the entry view's test.
TEST_P(TodayLayout, InsetsTheContentAndSetsRowsSixPointsApartUnderTheHeader) {
  const WidgetScene full = todayScene(payloadOf("urgent", 10, 7), GetParam());
  const auto rows = childrenOf(full.layout, firstIndexOf<VStack>(full.layout));
  ASSERT_GT(rows.size(), 4u);
  for (std::size_t index = 1; index < rows.size(); ++index) {
    EXPECT_NEAR(rows[index]->frame.minY() - rows[index - 1]->frame.maxY(), 6, tolerance)
        << "between child " << index - 1 << " and " << index;
  }

  // With fewer rows the free height is left at the bottom, under the inset.
  const WidgetScene two = todayScene(payloadOf("urgent", 2, 2), GetParam());
  const auto children = stackChildren(two.layout);
  ASSERT_EQ(children.size(), 4u);  // header, two rows, trailing spacer
  EXPECT_GT(children.back()->frame.size.height, 40);
}

// How a text is cut is the stack layout's and the text measurement's tests
// below and in text_test; here, that a row's title is the one line cut.
TEST_P(TodayLayout, PutsTheCountOnTheTrailingEdgeOnTheLabelsBaselineAndCutsALongTitle) {
  const WidgetScene scene = todayScene(payloadOf("important", 4, 2), GetParam());
  const NodeLayout* label = findText(scene.layout, "IMPORTANT");
  const NodeLayout* count = findText(scene.layout, "4");
  ASSERT_TRUE(label && count);
  EXPECT_NEAR(count->frame.maxX(), scene.layout.canvas.width - 14, tolerance);
  EXPECT_NEAR(label->frame.minX(), 14, tolerance);
  ASSERT_TRUE(label->firstBaseline && count->firstBaseline);
  EXPECT_NEAR(*label->firstBaseline, *count->firstBaseline, tolerance);
  // The taller count sets the header's top; the label hangs from the baseline.
  EXPECT_NEAR(count->frame.minY(), 14, tolerance);
  EXPECT_GT(label->frame.minY(), count->frame.minY());

  const std::string title(300, 'W');
  const WidgetScene longScene = todayScene(payloadOf("urgent", 1, 1, title), GetParam());
  const WidgetScene shortScene = todayScene(payloadOf("urgent", 1, 1, "W"), GetParam());
  const NodeLayout* longTitle = findText(longScene.layout, title, /*prefix=*/true);
  const NodeLayout* shortTitle = findText(shortScene.layout, "W", /*prefix=*/true);
  ASSERT_TRUE(longTitle && shortTitle);
  EXPECT_NEAR(longTitle->frame.size.height, shortTitle->frame.size.height, tolerance);
  EXPECT_NEAR(longTitle->frame.maxX(), longScene.layout.canvas.width - 14, tolerance);
}

// The message sits midway in the area under the header, which starts after
// the stack's spacing.
TEST_P(TodayLayout, PlacesTheStatusAndNothingDueMessagesMidway) {
  const std::pair<std::optional<TodayPayload>, std::string_view> cases[] = {
      {std::nullopt, linkStatus()},
      {payloadOf("urgent", 0, 2), nothingDueMessage},
      {payloadOf(std::nullopt, 4, 2), nothingDueMessage}};
  for (const auto& [payload, message] : cases) {
    SCOPED_TRACE(std::string(message));
    const WidgetScene scene = todayScene(payload, GetParam());
    const auto children = stackChildren(scene.layout);
    const NodeLayout* text = findText(scene.layout, message);
    ASSERT_TRUE(!children.empty() && text);
    const double above = text->frame.minY() - (children[0]->frame.maxY() + 6);
    EXPECT_GT(above, 2);
    EXPECT_NEAR(above, scene.layout.canvas.height - 14 - text->frame.maxY(), tolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, TodayLayout,
                         ::testing::Values(WidgetFamily::systemSmall, WidgetFamily::systemMedium),
                         [](const auto& parameter) { return std::string(name(parameter.param)); });

TEST(VoiceLayout, CentresTheSymbolAndTitleInEveryFamily) {
  for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::accessoryCircular,
                              WidgetFamily::accessoryInline}) {
    SCOPED_TRACE(std::string(name(family)));
    const WidgetScene scene = voiceScene(family);
    expectChildrenInsideParents(scene.layout);
    const int symbolIndex = family == WidgetFamily::accessoryInline
                                ? firstIndexOf<Label>(scene.layout)
                                : firstIndexOf<Image>(scene.layout);
    ASSERT_GE(symbolIndex, 0);
    const Rect& symbol = scene.layout.nodes[symbolIndex].frame;
    EXPECT_NEAR(symbol.midX(), scene.layout.canvas.width / 2, tolerance);
    EXPECT_GT(symbol.size.height, 0);
  }

  // The symbol and the title six points under it, centred as a pair; the
  // backdrop and fill under them are seen in the pictures (draw_test).
  const WidgetScene small = voiceScene(WidgetFamily::systemSmall);
  const NodeLayout& symbol = small.layout.nodes[firstIndexOf<Image>(small.layout)];
  const NodeLayout* title = findText(small.layout, "Quick add");
  ASSERT_TRUE(title);
  EXPECT_NEAR(title->frame.minY() - symbol.frame.maxY(), 6, tolerance);
  EXPECT_NEAR(title->frame.midX(), symbol.frame.midX(), tolerance);
  EXPECT_NEAR(symbol.frame.minY(), small.layout.canvas.height - title->frame.maxY(), tolerance);
}

// --- The stack rules on their own, on fixed text metrics ---

// Every character is half the font size wide; a line is the font size high,
// its baseline at 0.8 of it; lines break between any two characters.
TextMeasurement fixedMetrics(const TextRun& run, ProposedLength width) {
  const double size = run.font.pointSize;
  const double advance = size / 2;
  const auto characters = static_cast<double>(run.text.size());
  const double perLine =
      width.isUnbounded() ? characters : std::max(1.0, std::floor(width.value() / advance));
  int lines = static_cast<int>(std::ceil(characters / perLine));
  const bool truncated = run.lineLimit && lines > *run.lineLimit;
  if (truncated) lines = *run.lineLimit;
  return {.size = {std::min(characters, perLine) * advance, lines * size},
          .firstBaseline = 0.8 * size,
          .lastBaseline = (lines - 1) * size + 0.8 * size,
          .lineCount = lines,
          .truncated = truncated};
}

LayoutResult fixedLayout(const View& tree, Size canvas) {
  return brisklane::layout(tree, canvas, {}, fixedMetrics);
}

View fixedText(std::string text) {
  return View(Text::verbatim(std::move(text))).lineLimit(1);
}

TEST(StackLayout, SplitsFreeLengthEquallyBetweenSpacersAfterTheirDefaultOrGivenMinimums) {
  const View tree = VStack{
      .alignment = HorizontalAlignment::leading,
      .spacing = 0,
      .children = {Spacer{.minLength = 2}, View(ColorFill{Color::white}).frame({.maxHeight = 10.0}),
                   Spacer{.minLength = 0}}};
  const LayoutResult layout = fixedLayout(tree, {100, 100});
  const auto children = childrenOf(layout, 0);
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(children[0]->frame.size.height, 45);
  EXPECT_EQ(children[2]->frame.size.height, 45);
  // Too little room: each spacer still gets its minimum.
  const LayoutResult tight = fixedLayout(tree, {100, 11});
  const auto tightChildren = childrenOf(tight, 0);
  EXPECT_EQ(tightChildren[0]->frame.size.height, 2);
  EXPECT_EQ(tightChildren[2]->frame.size.height, 0);

  // Left to the host, the spacing and a spacer's minimum are the defaults.
  const View row = HStack{.alignment = VerticalAlignment::center,
                          .spacing = hostDefault,
                          .children = {fixedText("a"), Spacer{}, fixedText("b")}};
  const LayoutResult wide = fixedLayout(row, {1000, 100});
  const auto spaced = childrenOf(wide, 0);
  ASSERT_EQ(spaced.size(), 3u);
  EXPECT_EQ(spaced[1]->frame.minX() - spaced[0]->frame.maxX(), defaultStackSpacing);
  EXPECT_EQ(spaced[2]->frame.minX() - spaced[1]->frame.maxX(), defaultStackSpacing);
  EXPECT_EQ(spaced[2]->frame.maxX(), 1000);
  // Offered nothing, the spacer keeps its default minimum.
  const LayoutResult ideal =
      fixedLayout(View(row).frame({.maxWidth = std::nullopt, .maxHeight = std::nullopt}), {0, 100});
  const auto idealChildren = childrenOf(ideal, 1);
  ASSERT_EQ(idealChildren.size(), 3u);
  EXPECT_EQ(idealChildren[1]->frame.size.width, defaultSpacerMinLength);
}

TEST(StackLayout, KeepsTextsBesideASpacerAtTheirIdealWidthOnTheFirstOrLastBaseline) {
  const View tree = HStack{
      .alignment = VerticalAlignment::firstTextBaseline,
      .spacing = hostDefault,
      .children = {View(Text::verbatim("IMPORTANT")).font(Font::system(12, FontWeight::heavy)),
                   Spacer{},
                   View(Text::verbatim("12345")).font(Font::system(22, FontWeight::heavy))}};
  // Just enough room for both texts (54 and 55 wide), the spacings and the
  // spacer's minimum.
  const LayoutResult layout = fixedLayout(tree, {54 + 55 + 2 * 8 + 8, 100});
  const NodeLayout* label = findText(layout, "IMPORTANT");
  const NodeLayout* count = findText(layout, "12345");
  ASSERT_TRUE(label && count);
  EXPECT_EQ(label->frame.size.width, 54);
  EXPECT_EQ(count->frame.size.width, 55);
  EXPECT_EQ(*label->firstBaseline, *count->firstBaseline);
  EXPECT_NEAR(label->frame.minY() - count->frame.minY(), 0.8 * (22 - 12), tolerance);

  const View lastBaseline =
      HStack{.alignment = VerticalAlignment::lastTextBaseline,
             .spacing = 0,
             .children = {View(Text::verbatim("two lines of text")).frame({.maxWidth = 40.0}),
                          View(Text::verbatim("one")).font(Font::system(30))}};
  const LayoutResult aligned = fixedLayout(lastBaseline, {400, 400});
  const NodeLayout* wrapped = findText(aligned, "two lines of text");
  const NodeLayout* single = findText(aligned, "one");
  ASSERT_TRUE(wrapped && single);
  // 17 characters of 8.5 points, four to a line of 40 points: five lines.
  EXPECT_EQ(wrapped->frame.size.height, 5 * 17);
  EXPECT_NEAR(wrapped->frame.minY() + 4 * 17 + 0.8 * 17, *single->firstBaseline, tolerance);
}

// What drawing is handed: a text narrower than its one line is broken at
// its frame's width, one that fits is set on one line.
TEST(StackLayout, WrapsOrCutsTextAtTheOfferedWidthAndHandsThatWidthToDrawing) {
  struct Case {
    View tree;
    Size expected;
    std::optional<double> drawnWidth;
  };
  const std::string message = "twelve chars";  // 7.5 points each, 8 to a line of 60
  for (const auto& [tree, expected, drawnWidth] : {
           Case{Text::verbatim(message), {8 * 7.5, 2 * 15}, 8 * 7.5},
           Case{View(Text::verbatim(message)).lineLimit(1), {8 * 7.5, 15}, 8 * 7.5},
           Case{Text::verbatim("fits"), {4 * 7.5, 15}, std::nullopt},
       }) {
    SCOPED_TRACE(expected.width);
    const LayoutResult layout =
        brisklane::layout(View(tree).font(Font::system(15)), {60, 500}, {}, fixedMetrics);
    const auto text = std::find_if(layout.nodes.begin(), layout.nodes.end(),
                                   [](const NodeLayout& node) { return node.text.has_value(); });
    ASSERT_NE(text, layout.nodes.end());
    EXPECT_EQ(text->frame.size, expected);
    EXPECT_EQ(text->text->frame, text->frame);
    EXPECT_EQ(text->text->width,
              drawnWidth ? ProposedLength::points(*drawnWidth) : ProposedLength::unbounded());
  }
}

TEST(StackLayout, PadsByTheDefaultAndCentresInZStacks) {
  const View tree =
      ZStack{.alignment = Alignment::center,
             .children = {ColorFill{Color::white}, View(fixedText("x")).padding(hostDefault)}};
  const LayoutResult layout = fixedLayout(tree, {200, 100});
  const auto children = childrenOf(layout, 0);
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0]->frame, (Rect{{0, 0}, {200, 100}}));
  const Rect& padded = children[1]->frame;
  EXPECT_EQ(padded.midX(), 100);
  EXPECT_EQ(padded.midY(), 50);
  const NodeLayout* text = findText(layout, "x");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->frame.minX() - padded.minX(), defaultPadding);
  EXPECT_EQ(padded.maxY() - text->frame.maxY(), defaultPadding);
}

// Each stack asks its member for its least and most lengths and its share:
// without the measuring cache the work triples with every level.
TEST(StackLayout, MeasuresEachNodeABoundedNumberOfTimesWhateverTheNesting) {
  View tree = fixedText("x");
  for (int level = 0; level < 16; ++level) {
    if (level % 2 == 0) {
      tree = VStack{.alignment = HorizontalAlignment::leading, .spacing = 0, .children = {tree}};
    } else {
      tree = HStack{.alignment = VerticalAlignment::center, .spacing = 0, .children = {tree}};
    }
  }
  const LayoutResult layout = fixedLayout(tree, {300, 300});
  ASSERT_EQ(layout.nodes.size(), 18u);
  EXPECT_LE(layout.measurements, 10 * 18);
}

}  // namespace
}  // namespace brisklane
