// Layout of an evaluated view tree (no environment readers left), in two
// passes: measuring answers the size a node takes for a proposal, once for
// each node and proposal, and placing records every node's frame and first
// baseline from those answers. The result is kept apart from the tree so that
// drawing and tests read geometry without touching the views, and it carries
// what drawing needs of each text, so that drawing never measures.
//
// Supported, with the platform's stack rules: proposals from parent to child;
// `VStack` and `HStack` written once over a main and a cross axis, children
// served from the least to the most flexible, each offered an equal share of
// what is left; children that take any length (spacers, fills, unbounded
// frames) come last, after the others were served with their minimum lengths
// set aside, and split the remainder equally, so texts beside a spacer keep
// their ideal width and spacers share the free length; default spacing 8
// between stack children and a default spacer minimum of 8; cross alignment
// leading/centre/trailing, top/centre/bottom and first or last text baseline;
// `ZStack` placing each child by its alignment; `padding` (default 16);
// `frame(maxWidth:maxHeight:alignment:)` with finite or unbounded maxima;
// colour fills and the accessory backdrop taking all the space offered; text
// wrapping at the offered width, or cut with an ellipsis after its line
// limit; system symbols sized by the font; `Label` as icon and title on one
// baseline. `font`, `foregroundColor` and `lineLimit` are inherited down the
// tree. Not supported: layout priorities, fixed frames
// (`frame(width:height:)`), minimum frame lengths, `fixedSize`, overlays,
// right-to-left layout and safe areas (a widget has none, so
// `ignoresSafeArea` changes nothing).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/render/geometry.h"
#include "host/render/text.h"
#include "widget/swiftui/view.h"

namespace brisklane {

// The host's own values for what a tree leaves to it.
inline constexpr double defaultStackSpacing = 8;
inline constexpr double defaultSpacerMinLength = 8;
inline constexpr double defaultPadding = 16;

// What flows down the tree and is read by texts and symbols.
struct InheritedStyle {
  Font font = Font::system(17);  // the body style
  std::optional<Color> foregroundColor;
  std::optional<int> lineLimit;
  friend bool operator==(const InheritedStyle&, const InheritedStyle&) = default;
};

// A text as drawing sets it: the run, where its first line's top-left
// corner goes, and the width its lines are broken at (unbounded when it fits
// on one line per paragraph).
struct TextPlacement {
  TextRun run;
  Rect frame;
  ProposedLength width = ProposedLength::unbounded();
};

// One node of the tree in pre-order: a modifier comes before its content, a
// stack before its children. `node` points into the tree that was laid out
// and is valid as long as that tree lives.
struct NodeLayout {
  const ViewNode* node = nullptr;
  int parent = -1;                      // index into `LayoutResult::nodes`; -1 for the root
  Rect frame;                           // in points, in the widget's coordinates
  std::optional<double> firstBaseline;  // y in the widget's coordinates, for nodes with text
  InheritedStyle style;                 // in effect at this node
  std::optional<TextPlacement> text;    // a `Text`, or a `Label`'s title
  std::optional<Rect> icon;             // a `Label`'s icon
};

struct LayoutResult {
  Size canvas;  // the area laid out: the widget's size
  std::vector<NodeLayout> nodes;
  int measurements = 0;  // sizes computed: each node's once for each proposal it was given
};

// How a run of text measures at a width: Pango's `measureText` unless a
// caller (a test) sets fixed metrics.
using TextMeasurer = std::function<TextMeasurement(const TextRun&, ProposedLength)>;

// Lays `root` out in `canvas`; the root is offered the whole canvas and
// centred in it. `style` is what the host starts the tree with.
[[nodiscard]] LayoutResult layout(const View& root, Size canvas, const InheritedStyle& style = {},
                                  const TextMeasurer& measure = measureText);

// The text a `Text` shows (verbatim, or its key formatted without a
// translation).
[[nodiscard]] std::string displayedText(const Text& text);

// How the host sets a font: the system font's weights mapped to Inter's.
[[nodiscard]] TextFont textFont(const Font& font);

}  // namespace brisklane
