// The two layout passes. Each node kind has one function that arranges a
// node for a proposal: its size and baselines, and what each child is
// offered and where it goes. Measuring keeps every arrangement by node and
// proposal, so a stack that asks a child for its least length and then for
// its share pays once for each, however deep the tree; placing walks the
// kept arrangements down from the root. Stacks are written once over a main
// and a cross axis.
#include "host/render/layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <concepts>
#include <deque>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <utility>
#include <variant>

#include "host/render/shapes.h"

namespace brisklane {
namespace {

enum class Axis { horizontal, vertical };

// How a horizontal stack lines its children up across: by a baseline, or by
// the given alignment's share of the free height.
enum class BaselineAlignment { none, first, last };

[[nodiscard]] Axis crossAxis(Axis axis) {
  return axis == Axis::horizontal ? Axis::vertical : Axis::horizontal;
}
[[nodiscard]] double along(Size size, Axis axis) {
  return axis == Axis::horizontal ? size.width : size.height;
}
[[nodiscard]] ProposedLength along(const ProposedSize& proposal, Axis axis) {
  return axis == Axis::horizontal ? proposal.width : proposal.height;
}
[[nodiscard]] Size sizeOf(double main, double cross, Axis axis) {
  return axis == Axis::horizontal ? Size{main, cross} : Size{cross, main};
}
[[nodiscard]] Point pointOf(double main, double cross, Axis axis) {
  return axis == Axis::horizontal ? Point{main, cross} : Point{cross, main};
}
[[nodiscard]] ProposedSize proposalOf(ProposedLength main, ProposedLength cross, Axis axis) {
  return axis == Axis::horizontal ? ProposedSize{main, cross} : ProposedSize{cross, main};
}
[[nodiscard]] Point operator+(Point point, Point offset) {
  return {point.x + offset.x, point.y + offset.y};
}

// The ideal length of a colour fill offered nothing definite.
constexpr double idealFillLength = 10;

// The room between a label's icon and its title, in ems of the label's font.
constexpr double labelSpacingInEm = 0.3;

// A label's icon and the room it takes before the title.
struct LabelIcon {
  SymbolMetrics metrics;
  double advance;  // icon width and the gap after it
};

LabelIcon labelIcon(const Label& label, const TextFont& font) {
  const auto symbol = systemSymbolNamed(label.icon.systemName);
  if (!symbol) return {};
  const SymbolMetrics metrics = symbolMetrics(*symbol, font);
  return {metrics, metrics.size.width + font.pointSize * labelSpacingInEm};
}

// The share of the free length an alignment puts before the content.
double shareBefore(HorizontalAlignment alignment) {
  switch (alignment) {
    case HorizontalAlignment::leading:
      return 0;
    case HorizontalAlignment::center:
      return 0.5;
    case HorizontalAlignment::trailing:
      return 1;
  }
  return 0;
}

double shareBefore(VerticalAlignment alignment) {
  switch (alignment) {
    case VerticalAlignment::top:
      return 0;
    case VerticalAlignment::center:
      return 0.5;
    case VerticalAlignment::bottom:
      return 1;
    // Within a frame or a layered stack a baseline has nothing to meet:
    // place as the top.
    case VerticalAlignment::firstTextBaseline:
    case VerticalAlignment::lastTextBaseline:
      return 0;
  }
  return 0;
}

struct Measured {
  Size size;
  std::optional<double> firstBaseline;  // from the node's top
  std::optional<double> lastBaseline;
};

Measured shifted(Measured measured, double top) {
  if (measured.firstBaseline) *measured.firstBaseline += top;
  if (measured.lastBaseline) *measured.lastBaseline += top;
  return measured;
}

// A node as the walk reaches it: the style in effect there, and the stack it
// is a member of, if any (a spacer's length runs along that stack only).
struct Reached {
  const View* view;
  InheritedStyle style;
  std::optional<Axis> stackAxis;
};

// A child of an arranged node: what it is offered, and where its top-left
// corner goes from the node's.
struct ChildPlacement {
  Reached child;
  ProposedSize proposal;
  Point offset;
};

// A node arranged for one proposal. Text frames are from the node's top-left
// corner.
struct Arrangement {
  Measured measured;
  std::vector<ChildPlacement> children;
  std::optional<TextPlacement> text;
  std::optional<Rect> icon;
};

// What a stack is, whichever its axis.
struct StackShape {
  Axis axis;
  double spacing;
  const std::vector<View>& children;
  double crossShare;  // of the free cross length, before each child
  BaselineAlignment baselines;
};

struct StackMember {
  Reached reached;
  double least = 0;  // main length when offered nothing
  double most = 0;   // main length when offered all there is; infinite for any length
  ProposedLength mainProposal = ProposedLength::unbounded();
  Measured measured;
  Point offset;  // within the stack

  [[nodiscard]] bool takesAnyLength() const { return std::isinf(most); }
};

class Layouter {
 public:
  explicit Layouter(const TextMeasurer& measureText) : measureText_(measureText) {}

  // Pass 1: the size `reached` takes for `proposal`.
  Measured measure(const Reached& reached, const ProposedSize& proposal) {
    return arranged(reached, proposal).measured;
  }

  // Pass 2: records `reached` and everything inside it in pre-order, its
  // top-left corner at `origin`.
  void place(const Reached& reached, const ProposedSize& proposal, Point origin, int parent,
             std::vector<NodeLayout>& nodes);

  [[nodiscard]] int measurements() const { return measurements_; }

 private:
  // Everything arranged so far, by node; a deque keeps what was handed out
  // in place while more is added.
  struct Kept {
    ProposedSize proposal;
    InheritedStyle style;
    std::optional<Axis> stackAxis;
    Arrangement arrangement;
  };
  struct NodeRecord {
    std::deque<Kept> arrangements;
    std::array<std::optional<bool>, 6> takesAnyLength;  // by axis and stack axis
  };

  const Arrangement& arranged(const Reached& reached, ProposedSize proposal);
  Arrangement arrange(const Reached& reached, const ProposedSize& proposal);
  bool takesAnyLength(const Reached& reached, Axis axis);
  bool anyTakesAnyLength(const std::vector<View>& children, const Reached& parent,
                         std::optional<Axis> childrenAxis, Axis axis);

  Arrangement arrangeText(const Reached& reached, const Text& text, const ProposedSize& proposal);
  Arrangement arrangeLabel(const Reached& reached, const Label& label,
                           const ProposedSize& proposal);
  Arrangement arrangeStack(const Reached& reached, const StackShape& stack,
                           const ProposedSize& proposal);
  std::vector<StackMember> rankedMembers(const Reached& reached, const StackShape& stack,
                                         const ProposedSize& proposal);
  void allocateMainLengths(const StackShape& stack, std::vector<StackMember>& members,
                           const ProposedSize& proposal);
  Arrangement arrangeZStack(const Reached& reached, const ZStack& stack,
                            const ProposedSize& proposal);
  Arrangement arrangePadding(const Reached& reached, const PaddingModifier& padding,
                             const ProposedSize& proposal);
  Arrangement arrangeFrame(const Reached& reached, const FrameModifier& frame,
                           const ProposedSize& proposal);

  const TextMeasurer& measureText_;
  std::unordered_map<const ViewNode*, NodeRecord> records_;
  int measurements_ = 0;
};

const Arrangement& Layouter::arranged(const Reached& reached, ProposedSize proposal) {
  // A text's size depends on the width it is offered only.
  if (reached.view->as<Text>() != nullptr) proposal.height = ProposedLength::unbounded();
  std::deque<Kept>& kept = records_[&reached.view->node()].arrangements;
  for (const Kept& entry : kept) {
    if (entry.proposal == proposal && entry.stackAxis == reached.stackAxis &&
        entry.style == reached.style) {
      return entry.arrangement;
    }
  }
  Arrangement arrangement = arrange(reached, proposal);
  ++measurements_;
  // What `arrange` added to `kept` (a text's one line) stayed in place.
  kept.push_back(Kept{proposal, reached.style, reached.stackAxis, std::move(arrangement)});
  return kept.back().arrangement;
}

// A modifier that only wraps its content (a background, a link, a style).
template <typename Kind>
concept Wrapper = requires(const Kind& kind) {
  { kind.content } -> std::convertible_to<const View&>;
};

// The style a modifier hands its content.
InheritedStyle styleWithin(InheritedStyle style, const FontModifier& modifier) {
  style.font = modifier.font;
  return style;
}
InheritedStyle styleWithin(InheritedStyle style, const ForegroundColorModifier& modifier) {
  style.foregroundColor = modifier.color;
  return style;
}
InheritedStyle styleWithin(InheritedStyle style, const LineLimitModifier& modifier) {
  style.lineLimit = modifier.lines;
  return style;
}
template <Wrapper Modifier>
InheritedStyle styleWithin(InheritedStyle style, const Modifier& /*modifier*/) {
  return style;
}

StackShape stackShape(const VStack& stack) {
  return {Axis::vertical, stack.spacing.resolved(defaultStackSpacing), stack.children,
          shareBefore(stack.alignment), BaselineAlignment::none};
}

StackShape stackShape(const HStack& stack) {
  const BaselineAlignment baselines =
      stack.alignment == VerticalAlignment::firstTextBaseline  ? BaselineAlignment::first
      : stack.alignment == VerticalAlignment::lastTextBaseline ? BaselineAlignment::last
                                                               : BaselineAlignment::none;
  return {Axis::horizontal, stack.spacing.resolved(defaultStackSpacing), stack.children,
          shareBefore(stack.alignment), baselines};
}

Arrangement arrangeImage(const Image& image, const InheritedStyle& style) {
  const auto symbol = systemSymbolNamed(image.systemName);
  if (!symbol) return {};
  const SymbolMetrics metrics = symbolMetrics(*symbol, textFont(style.font));
  return {.measured = {metrics.size, metrics.baseline, metrics.baseline}};
}

// Colour fills and the accessory backdrop take all they are offered.
Arrangement arrangeFill(const ProposedSize& proposal) {
  return {.measured = {.size = {proposal.width.valueOr(idealFillLength),
                                proposal.height.valueOr(idealFillLength)}}};
}

// A spacer takes what it is offered, never less than its minimum: along its
// stack only, or both ways outside one.
Arrangement arrangeSpacer(const Spacer& spacer, std::optional<Axis> stackAxis,
                          const ProposedSize& proposal) {
  const double least = spacer.minLength.resolved(defaultSpacerMinLength);
  auto length = [&](ProposedLength offered) { return std::max(least, offered.valueOr(least)); };
  if (!stackAxis) return {.measured = {.size = {length(proposal.width), length(proposal.height)}}};
  return {.measured = {.size = sizeOf(length(along(proposal, *stackAxis)), 0, *stackAxis)}};
}

Arrangement Layouter::arrange(const Reached& reached, const ProposedSize& proposal) {
  return std::visit(
      Overloaded{
          [&](const Text& text) { return arrangeText(reached, text, proposal); },
          [&](const Image& image) { return arrangeImage(image, reached.style); },
          [&](const Label& label) { return arrangeLabel(reached, label, proposal); },
          [&](const ColorFill&) { return arrangeFill(proposal); },
          [&](const AccessoryWidgetBackground&) { return arrangeFill(proposal); },
          [&](const Spacer& spacer) { return arrangeSpacer(spacer, reached.stackAxis, proposal); },
          [&](const VStack& stack) { return arrangeStack(reached, stackShape(stack), proposal); },
          [&](const HStack& stack) { return arrangeStack(reached, stackShape(stack), proposal); },
          [&](const ZStack& stack) { return arrangeZStack(reached, stack, proposal); },
          [&](const PaddingModifier& padding) {
            return arrangePadding(reached, padding, proposal);
          },
          [&](const FrameModifier& frame) { return arrangeFrame(reached, frame, proposal); },
          [&]<Wrapper Modifier>(const Modifier& modifier) {
            const Reached content{&modifier.content, styleWithin(reached.style, modifier),
                                  reached.stackAxis};
            return Arrangement{.measured = measure(content, proposal),
                               .children = {{content, proposal, {}}}};
          },
          // Readers are evaluated before layout; one left over takes no room.
          [](const EnvironmentReader&) { return Arrangement{}; },
          [](const EmptyView&) { return Arrangement{}; },
      },
      reached.view->node().kind);
}

// --- Flexibility ---

// Whether `reached` takes any length it is offered along `axis`: fills,
// spacers along their stack, unbounded frames, and whatever holds one of
// them without a finite frame around it. A stack serves such members last.
bool Layouter::takesAnyLength(const Reached& reached, Axis axis) {
  const std::size_t slot =
      static_cast<std::size_t>(axis) * 3 +
      (reached.stackAxis ? 1 + static_cast<std::size_t>(*reached.stackAxis) : 0);
  std::optional<bool>& known = records_[&reached.view->node()].takesAnyLength[slot];
  if (known) return *known;
  const bool answer = std::visit(
      Overloaded{
          [](const ColorFill&) { return true; },
          [](const AccessoryWidgetBackground&) { return true; },
          [&](const Spacer&) { return !reached.stackAxis || *reached.stackAxis == axis; },
          [&](const VStack& stack) {
            return anyTakesAnyLength(stack.children, reached, Axis::vertical, axis);
          },
          [&](const HStack& stack) {
            return anyTakesAnyLength(stack.children, reached, Axis::horizontal, axis);
          },
          [&](const ZStack& stack) {
            return anyTakesAnyLength(stack.children, reached, std::nullopt, axis);
          },
          [&](const FrameModifier& frame) {
            const auto& maximum =
                axis == Axis::horizontal ? frame.options.maxWidth : frame.options.maxHeight;
            if (maximum) return std::holds_alternative<Unbounded>(*maximum);
            return takesAnyLength({&frame.content, reached.style, reached.stackAxis}, axis);
          },
          [&]<Wrapper Modifier>(const Modifier& modifier) {
            return takesAnyLength(
                {&modifier.content, styleWithin(reached.style, modifier), reached.stackAxis}, axis);
          },
          [](const auto&) { return false; },
      },
      reached.view->node().kind);
  // The lookup may have grown the map, but its elements stay where they are.
  known = answer;
  return answer;
}

bool Layouter::anyTakesAnyLength(const std::vector<View>& children, const Reached& parent,
                                 std::optional<Axis> childrenAxis, Axis axis) {
  return std::any_of(children.begin(), children.end(), [&](const View& child) {
    return takesAnyLength({&child, parent.style, childrenAxis}, axis);
  });
}

// --- Texts and labels ---

// Where a text goes and the width its lines are broken at: the frame's,
// when the frame is narrower than the text's one line, else none.
TextPlacement textPlacement(TextRun run, Rect frame, double oneLineWidth) {
  const ProposedLength width = oneLineWidth > frame.size.width
                                   ? ProposedLength::points(frame.size.width)
                                   : ProposedLength::unbounded();
  return {.run = std::move(run), .frame = frame, .width = width};
}

Arrangement Layouter::arrangeText(const Reached& reached, const Text& text,
                                  const ProposedSize& proposal) {
  TextRun run{displayedText(text), textFont(reached.style.font), reached.style.lineLimit};
  if (proposal.width.isUnbounded()) {
    const TextMeasurement line = measureText_(run, ProposedLength::unbounded());
    const Rect frame{{}, line.size};
    return {.measured = {line.size, line.firstBaseline, line.lastBaseline},
            .text = textPlacement(std::move(run), frame, line.size.width)};
  }
  const Arrangement& ideal = arranged(reached, {});
  const double oneLineWidth = ideal.measured.size.width;
  if (proposal.width.value() <= 0) {
    // Offered no width at all, a text takes none (its lines would hold one
    // character each); its height stays that of a line.
    const Size size{0, ideal.measured.size.height};
    return {.measured = {size, ideal.measured.firstBaseline, ideal.measured.firstBaseline},
            .text = textPlacement(std::move(run), {{}, size}, oneLineWidth)};
  }
  if (proposal.width.value() >= oneLineWidth) return ideal;
  const TextMeasurement lines = measureText_(run, proposal.width);
  return {.measured = {lines.size, lines.firstBaseline, lines.lastBaseline},
          .text = textPlacement(std::move(run), {{}, lines.size}, oneLineWidth)};
}

// Icon and title side by side, on the title's first baseline.
Arrangement Layouter::arrangeLabel(const Reached& reached, const Label& label,
                                   const ProposedSize& proposal) {
  const TextFont font = textFont(reached.style.font);
  const LabelIcon icon = labelIcon(label, font);
  TextRun run{displayedText(label.title), font, reached.style.lineLimit};
  const TextMeasurement oneLine = measureText_(run, ProposedLength::unbounded());
  const TextMeasurement title =
      proposal.width.isUnbounded() || proposal.width.value() - icon.advance >= oneLine.size.width
          ? oneLine
          : measureText_(run, ProposedLength::points(proposal.width.value() - icon.advance));
  const double above = std::max(icon.metrics.baseline, title.firstBaseline);
  const Rect iconFrame{{0, above - icon.metrics.baseline}, icon.metrics.size};
  const Rect titleFrame{{icon.advance, above - title.firstBaseline}, title.size};
  return {.measured = {{titleFrame.maxX(), std::max(iconFrame.maxY(), titleFrame.maxY())},
                       titleFrame.minY() + title.firstBaseline,
                       titleFrame.minY() + title.lastBaseline},
          .text = textPlacement(std::move(run), titleFrame, oneLine.size.width),
          .icon = iconFrame};
}

// --- Stacks ---

// The members that take part (an `EmptyView` takes no room and no spacing),
// each with the least and the most main length it would take.
std::vector<StackMember> Layouter::rankedMembers(const Reached& reached, const StackShape& stack,
                                                 const ProposedSize& proposal) {
  std::vector<StackMember> members;
  const ProposedLength cross = along(proposal, crossAxis(stack.axis));
  for (const View& child : stack.children) {
    if (child.as<EmptyView>() != nullptr) continue;
    StackMember member{.reached = {&child, reached.style, stack.axis}};
    member.least = along(
        measure(member.reached, proposalOf(ProposedLength::points(0), cross, stack.axis)).size,
        stack.axis);
    member.most = takesAnyLength(member.reached, stack.axis)
                      ? std::numeric_limits<double>::infinity()
                      : along(measure(member.reached,
                                      proposalOf(ProposedLength::infinity(), cross, stack.axis))
                                  .size,
                              stack.axis);
    members.push_back(member);
  }
  return members;
}

// Main lengths. Members that take any length (spacers, fills, unbounded
// frames) are served last: first the others, least flexible first, each
// offered an equal share of what is left once the minimum lengths of those
// that take any are set aside; then those split the remainder equally, the
// ones with the longer minimum first, none below its minimum. An unbounded
// or infinite stack offers every member the same.
void Layouter::allocateMainLengths(const StackShape& stack, std::vector<StackMember>& members,
                                   const ProposedSize& proposal) {
  const ProposedLength main = along(proposal, stack.axis);
  const ProposedLength cross = along(proposal, crossAxis(stack.axis));
  auto serve = [&](StackMember& member, ProposedLength offered) {
    member.mainProposal = offered;
    member.measured = measure(member.reached, proposalOf(offered, cross, stack.axis));
    return along(member.measured.size, stack.axis);
  };
  if (main.isUnbounded() || main.isInfinite()) {
    for (StackMember& member : members) serve(member, main);
    return;
  }
  auto rank = [](const StackMember& member) {
    return member.takesAnyLength() ? std::pair(1.0, -member.least)
                                   : std::pair(0.0, member.most - member.least);
  };
  std::vector<std::size_t> order(members.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
    return rank(members[left]) < rank(members[right]);
  });
  const auto firstUnbounded = std::find_if(order.begin(), order.end(), [&](std::size_t index) {
    return members[index].takesAnyLength();
  });
  double setAside = 0;
  for (auto index = firstUnbounded; index != order.end(); ++index)
    setAside += members[*index].least;

  const double totalSpacing =
      stack.spacing * static_cast<double>(std::max<std::size_t>(members.size(), 1) - 1);
  double remaining = main.value() - totalSpacing;
  auto left = static_cast<double>(firstUnbounded - order.begin());
  for (auto index = order.begin(); index != firstUnbounded; ++index, --left) {
    remaining -= serve(members[*index], ProposedLength::points((remaining - setAside) / left));
  }
  left = static_cast<double>(order.end() - firstUnbounded);
  for (auto index = firstUnbounded; index != order.end(); ++index, --left) {
    remaining -= serve(members[*index], ProposedLength::points(remaining / left));
  }
}

// Positions along the main axis, one after the other with the spacing
// between; answers the stack's main length.
double placeAlongMain(Axis axis, std::vector<StackMember>& members, double spacing) {
  double position = 0;
  for (std::size_t index = 0; index < members.size(); ++index) {
    if (index > 0) position += spacing;
    members[index].offset = pointOf(position, 0, axis);
    position += along(members[index].measured.size, axis);
  }
  return position;
}

// Positions across. Baseline alignment hangs every member from the lowest
// first (or last) baseline above it (a member without text uses its bottom);
// the other alignments share out the free cross length. Answers the stack's
// cross length.
double placeAcross(const StackShape& stack, std::vector<StackMember>& members) {
  const Axis axis = stack.axis;
  auto setCross = [&](StackMember& member, double value) {
    const double main = along(Size{member.offset.x, member.offset.y}, axis);
    member.offset = pointOf(main, value, axis);
  };
  double crossLength = 0;
  if (stack.baselines != BaselineAlignment::none) {
    auto baselineOf = [&](const StackMember& member) {
      const auto& baseline = stack.baselines == BaselineAlignment::last
                                 ? member.measured.lastBaseline
                                 : member.measured.firstBaseline;
      return baseline.value_or(member.measured.size.height);
    };
    double above = 0;
    for (const StackMember& member : members) above = std::max(above, baselineOf(member));
    for (StackMember& member : members) {
      setCross(member, above - baselineOf(member));
      crossLength = std::max(crossLength, above - baselineOf(member) + member.measured.size.height);
    }
    return crossLength;
  }
  for (const StackMember& member : members) {
    crossLength = std::max(crossLength, along(member.measured.size, crossAxis(axis)));
  }
  for (StackMember& member : members) {
    setCross(member,
             stack.crossShare * (crossLength - along(member.measured.size, crossAxis(axis))));
  }
  return crossLength;
}

// The stack's size, and its baselines from its first and last members that
// have one.
Measured stackMeasurement(Axis axis, const std::vector<StackMember>& members, double mainLength,
                          double crossLength) {
  Measured measured{.size = sizeOf(mainLength, crossLength, axis)};
  for (const StackMember& member : members) {
    if (member.measured.firstBaseline) {
      measured.firstBaseline = member.offset.y + *member.measured.firstBaseline;
      break;
    }
  }
  for (auto member = members.rbegin(); member != members.rend(); ++member) {
    if (member->measured.lastBaseline) {
      measured.lastBaseline = member->offset.y + *member->measured.lastBaseline;
      break;
    }
  }
  return measured;
}

Arrangement Layouter::arrangeStack(const Reached& reached, const StackShape& stack,
                                   const ProposedSize& proposal) {
  std::vector<StackMember> members = rankedMembers(reached, stack, proposal);
  allocateMainLengths(stack, members, proposal);
  const double mainLength = placeAlongMain(stack.axis, members, stack.spacing);
  const double crossLength = placeAcross(stack, members);
  Arrangement arrangement{.measured =
                              stackMeasurement(stack.axis, members, mainLength, crossLength)};
  const ProposedLength cross = along(proposal, crossAxis(stack.axis));
  for (const StackMember& member : members) {
    arrangement.children.push_back(
        {member.reached, proposalOf(member.mainProposal, cross, stack.axis), member.offset});
  }
  return arrangement;
}

Arrangement Layouter::arrangeZStack(const Reached& reached, const ZStack& stack,
                                    const ProposedSize& proposal) {
  std::vector<Measured> sizes;
  Size size;
  for (const View& child : stack.children) {
    sizes.push_back(measure({&child, reached.style, std::nullopt}, proposal));
    size.width = std::max(size.width, sizes.back().size.width);
    size.height = std::max(size.height, sizes.back().size.height);
  }
  Arrangement arrangement{.measured = {.size = size}};
  Measured& measured = arrangement.measured;
  for (std::size_t index = 0; index < stack.children.size(); ++index) {
    const Point offset{
        shareBefore(stack.alignment.horizontal) * (size.width - sizes[index].size.width),
        shareBefore(stack.alignment.vertical) * (size.height - sizes[index].size.height)};
    if (!measured.firstBaseline && sizes[index].firstBaseline) {
      measured.firstBaseline = offset.y + *sizes[index].firstBaseline;
    }
    if (sizes[index].lastBaseline) measured.lastBaseline = offset.y + *sizes[index].lastBaseline;
    arrangement.children.push_back(
        {{&stack.children[index], reached.style, std::nullopt}, proposal, offset});
  }
  return arrangement;
}

// --- Padding and frames ---

Arrangement Layouter::arrangePadding(const Reached& reached, const PaddingModifier& padding,
                                     const ProposedSize& proposal) {
  const double length = padding.length.resolved(defaultPadding);
  auto inset = [&](Edge edge) { return padding.edges.contains(edge) ? length : 0.0; };
  const double top = inset(Edge::top);
  const double leading = inset(Edge::leading);
  const double horizontal = leading + inset(Edge::trailing);
  const double vertical = top + inset(Edge::bottom);
  auto shrink = [](ProposedLength offered, double by) {
    return offered.isUnbounded() ? offered : ProposedLength::points(offered.value() - by);
  };
  const Reached content{&padding.content, reached.style, reached.stackAxis};
  const ProposedSize contentProposal{shrink(proposal.width, horizontal),
                                     shrink(proposal.height, vertical)};
  const Measured measured = measure(content, contentProposal);
  Measured padded = shifted(measured, top);
  padded.size = {measured.size.width + horizontal, measured.size.height + vertical};
  return {.measured = padded, .children = {{content, contentProposal, {leading, top}}}};
}

// Each axis with a maximum offers the content the proposal capped at that
// maximum, and is as long as the proposal allows within it (never shorter
// than the content).
Arrangement Layouter::arrangeFrame(const Reached& reached, const FrameModifier& frame,
                                   const ProposedSize& proposal) {
  auto maximumOf = [](const std::optional<MaximumLength>& maximum) {
    if (!maximum) return std::optional<double>();
    if (std::holds_alternative<Unbounded>(*maximum)) {
      return std::optional<double>(std::numeric_limits<double>::infinity());
    }
    return std::optional<double>(std::get<double>(*maximum));
  };
  const std::optional<double> maxWidth = maximumOf(frame.options.maxWidth);
  const std::optional<double> maxHeight = maximumOf(frame.options.maxHeight);
  auto capped = [](ProposedLength offered, std::optional<double> maximum) {
    if (!maximum || offered.isUnbounded()) return offered;
    return ProposedLength::points(std::min(offered.value(), *maximum));
  };
  auto lengthOf = [](ProposedLength offered, std::optional<double> maximum, double contentLength) {
    if (!maximum) return contentLength;
    if (offered.isUnbounded()) return std::min(*maximum, contentLength);
    return std::min(*maximum, std::max(offered.value(), contentLength));
  };
  const Reached content{&frame.content, reached.style, reached.stackAxis};
  const ProposedSize contentProposal{capped(proposal.width, maxWidth),
                                     capped(proposal.height, maxHeight)};
  const Measured measured = measure(content, contentProposal);
  const Size size{lengthOf(proposal.width, maxWidth, measured.size.width),
                  lengthOf(proposal.height, maxHeight, measured.size.height)};
  const Point offset{
      shareBefore(frame.options.alignment.horizontal) * (size.width - measured.size.width),
      shareBefore(frame.options.alignment.vertical) * (size.height - measured.size.height)};
  Measured framed = shifted(measured, offset.y);
  framed.size = size;
  return {.measured = framed, .children = {{content, contentProposal, offset}}};
}

// --- Placing ---

void Layouter::place(const Reached& reached, const ProposedSize& proposal, Point origin, int parent,
                     std::vector<NodeLayout>& nodes) {
  const Arrangement& arrangement = arranged(reached, proposal);
  NodeLayout node{.node = &reached.view->node(),
                  .parent = parent,
                  .frame = {origin, arrangement.measured.size},
                  .style = reached.style};
  if (arrangement.measured.firstBaseline) {
    node.firstBaseline = origin.y + *arrangement.measured.firstBaseline;
  }
  if (arrangement.text) {
    node.text = *arrangement.text;
    node.text->frame.origin = origin + node.text->frame.origin;
  }
  if (arrangement.icon) node.icon = Rect{origin + arrangement.icon->origin, arrangement.icon->size};
  const auto index = static_cast<int>(nodes.size());
  nodes.push_back(std::move(node));
  for (const ChildPlacement& child : arrangement.children) {
    place(child.child, child.proposal, origin + child.offset, index, nodes);
  }
}

}  // namespace

std::string displayedText(const Text& text) {
  return resolvedText(text.content);
}

TextFont textFont(const Font& font) {
  InterWeight weight = InterWeight::regular;
  if (font.weight) {
    switch (*font.weight) {
      case FontWeight::ultraLight:
      case FontWeight::thin:
      case FontWeight::light:
      case FontWeight::regular:
      case FontWeight::medium:
        weight = InterWeight::regular;
        break;
      case FontWeight::semibold:
        weight = InterWeight::semibold;
        break;
      case FontWeight::bold:
        weight = InterWeight::bold;
        break;
      case FontWeight::heavy:
      case FontWeight::black:
        weight = InterWeight::extraBold;
        break;
    }
  }
  return TextFont{.pointSize = font.size, .weight = weight};
}

LayoutResult layout(const View& root, Size canvas, const InheritedStyle& style,
                    const TextMeasurer& measure) {
  LayoutResult result{.canvas = canvas, .nodes = {}};
  Layouter layouter(measure);
  const Reached reached{&root, style, std::nullopt};
  const ProposedSize proposal{ProposedLength::points(canvas.width),
                              ProposedLength::points(canvas.height)};
  const Measured measured = layouter.measure(reached, proposal);
  const Point origin{(canvas.width - measured.size.width) / 2,
                     (canvas.height - measured.size.height) / 2};
  layouter.place(reached, proposal, origin, -1, result.nodes);
  result.measurements = layouter.measurements();
  return result;
}

}  // namespace brisklane
