// The layout walk. One function, `lay`, answers a node's size for a proposal
// and, when given a placement, also records the node and places its
// children; measuring and placing therefore cannot disagree. Stacks go
// through the named passes below, written once over a main and a cross axis.
#include "host/layout.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <numeric>
#include <type_traits>
#include <utility>
#include <variant>

#include "host/shapes.h"

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

// A proposal longer than any screen: what a child answers to it is the most
// it would take, which ranks it among its siblings by flexibility.
constexpr double flexibilityProbe = 1e6;

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

// Icon and title side by side, on the title's first baseline.
LabelParts arrangeLabel(const LabelIcon& icon, const TextMeasurement& title, Point origin) {
  const double above = std::max(icon.metrics.baseline, title.firstBaseline);
  return LabelParts{
      .icon = {{origin.x, origin.y + above - icon.metrics.baseline}, icon.metrics.size},
      .title = {{origin.x + icon.advance, origin.y + above - title.firstBaseline}, title.size}};
}

struct Measured {
  Size size;
  std::optional<double> firstBaseline;  // from the node's top
  std::optional<double> lastBaseline;
};

// Where a node is placed when the walk records it.
struct Placement {
  Point origin;
  int parent;
};

double clampedLength(double length) {
  return std::max(0.0, length);
}

struct TextKey {
  const ViewNode* node;
  ProposedLength width;
  TextFont font;
  std::optional<int> lineLimit;
  friend bool operator==(const TextKey&, const TextKey&) = default;
};

class Layouter {
 public:
  explicit Layouter(LayoutResult& result) : result_(result) {}

  Measured lay(const View& view, const ProposedSize& proposal, const InheritedStyle& style,
               std::optional<Axis> stackAxis, const std::optional<Placement>& placement);

  const TextMeasurement& measure(const ViewNode* node, const TextRun& run, ProposedLength width);

 private:
  Measured layStack(Axis axis, const std::vector<View>& children, double spacing,
                    const ProposedSize& proposal, const InheritedStyle& style,
                    const std::optional<Placement>& placement,
                    const std::function<double(const Measured&, double crossLength)>& crossOffset,
                    BaselineAlignment baselines);
  Measured layZStack(const ZStack& stack, const ProposedSize& proposal, const InheritedStyle& style,
                     const std::optional<Placement>& placement);

  LayoutResult& result_;
  std::deque<std::pair<TextKey, TextMeasurement>> textCache_;  // stable references
};

const TextMeasurement& Layouter::measure(const ViewNode* node, const TextRun& run,
                                         ProposedLength width) {
  // Offered at least its one-line width, a text is its one line.
  if (!width.isUnbounded()) {
    const TextMeasurement& ideal = measure(node, run, ProposedLength::unbounded());
    if (width.value() >= ideal.size.width) return ideal;
  }
  TextKey key{node, width, run.font, run.lineLimit};
  for (const auto& [cachedKey, measurement] : textCache_) {
    if (cachedKey == key) return measurement;
  }
  textCache_.emplace_back(key, measureText(run, width));
  return textCache_.back().second;
}

// --- Offsets along an axis ---

double offsetFor(HorizontalAlignment alignment, double free) {
  switch (alignment) {
    case HorizontalAlignment::leading:
      return 0;
    case HorizontalAlignment::center:
      return free / 2;
    case HorizontalAlignment::trailing:
      return free;
  }
  return 0;
}

double offsetFor(VerticalAlignment alignment, double free) {
  switch (alignment) {
    case VerticalAlignment::top:
      return 0;
    case VerticalAlignment::center:
      return free / 2;
    case VerticalAlignment::bottom:
      return free;
    // Within a frame or a layered stack a baseline has nothing to meet:
    // place as the top.
    case VerticalAlignment::firstTextBaseline:
    case VerticalAlignment::lastTextBaseline:
      return 0;
  }
  return 0;
}

// --- Stack passes ---

struct StackMember {
  const View* view;
  double least = 0;        // main length when offered nothing
  double flexibility = 0;  // the most it would take minus the least
  ProposedLength mainProposal = ProposedLength::unbounded();
  Measured measured;
  Point offset;  // within the stack

  [[nodiscard]] bool takesAnyLength() const { return flexibility >= flexibilityProbe / 2; }
};

// Pass 1: the children that take part (an `EmptyView` takes no room and no
// spacing), each ranked by how much its main length can vary.
std::vector<StackMember> rankedMembers(Layouter& layouter, Axis axis,
                                       const std::vector<View>& children,
                                       const ProposedSize& proposal, const InheritedStyle& style) {
  std::vector<StackMember> members;
  const ProposedLength cross = along(proposal, crossAxis(axis));
  for (const View& child : children) {
    if (child.as<EmptyView>() != nullptr) continue;
    const double least = along(layouter
                                   .lay(child, proposalOf(ProposedLength::points(0), cross, axis),
                                        style, axis, std::nullopt)
                                   .size,
                               axis);
    const double most =
        along(layouter
                  .lay(child, proposalOf(ProposedLength::points(flexibilityProbe), cross, axis),
                       style, axis, std::nullopt)
                  .size,
              axis);
    members.push_back({.view = &child, .least = least, .flexibility = most - least});
  }
  return members;
}

// Pass 2: main lengths. Children that would take any length (spacers,
// fills, unbounded frames) are served last: first the others, least flexible
// first, each offered an equal share of what is left once the unbounded
// ones' minimum lengths are set aside; then the unbounded ones split the
// remainder equally, none below its minimum. Unbounded stack: every child at
// its ideal length.
void allocateMainLengths(Layouter& layouter, Axis axis, std::vector<StackMember>& members,
                         double spacing, const ProposedSize& proposal,
                         const InheritedStyle& style) {
  const ProposedLength main = along(proposal, axis);
  const ProposedLength cross = along(proposal, crossAxis(axis));
  auto serve = [&](StackMember& member, ProposedLength offered) {
    member.mainProposal = offered;
    member.measured =
        layouter.lay(*member.view, proposalOf(offered, cross, axis), style, axis, std::nullopt);
    return along(member.measured.size, axis);
  };
  if (main.isUnbounded()) {
    for (StackMember& member : members) serve(member, ProposedLength::unbounded());
    return;
  }
  std::vector<std::size_t> order(members.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
    return members[left].flexibility < members[right].flexibility;
  });
  const auto firstUnbounded = std::find_if(order.begin(), order.end(), [&](std::size_t index) {
    return members[index].takesAnyLength();
  });
  double setAside = 0;
  for (auto index = firstUnbounded; index != order.end(); ++index)
    setAside += members[*index].least;

  const double totalSpacing =
      spacing * static_cast<double>(std::max<std::size_t>(members.size(), 1) - 1);
  double remaining = main.value() - totalSpacing;
  auto left = static_cast<double>(firstUnbounded - order.begin());
  for (auto index = order.begin(); index != firstUnbounded; ++index, --left) {
    remaining -= serve(members[*index],
                       ProposedLength::points(clampedLength((remaining - setAside) / left)));
  }
  left = static_cast<double>(order.end() - firstUnbounded);
  for (auto index = firstUnbounded; index != order.end(); ++index, --left) {
    remaining -= serve(members[*index], ProposedLength::points(clampedLength(remaining / left)));
  }
}

// Pass 3: positions along the main axis, one after the other with the
// spacing between; answers the stack's main length.
double placeAlongMain(Axis axis, std::vector<StackMember>& members, double spacing) {
  double position = 0;
  for (std::size_t index = 0; index < members.size(); ++index) {
    if (index > 0) position += spacing;
    members[index].offset = pointOf(position, 0, axis);
    position += along(members[index].measured.size, axis);
  }
  return position;
}

// Pass 4: positions across. Baseline alignment hangs every child from the
// lowest first (or last) baseline above it (a child without text uses its bottom);
// the other alignments share out the free cross length. Answers the stack's
// cross length.
double placeAcross(Axis axis, std::vector<StackMember>& members, BaselineAlignment baselines,
                   const std::function<double(const Measured&, double crossLength)>& crossOffset) {
  const Axis cross = crossAxis(axis);
  auto setCross = [&](StackMember& member, double value) {
    const double main = along(Size{member.offset.x, member.offset.y}, axis);
    member.offset = pointOf(main, value, axis);
  };
  double crossLength = 0;
  if (baselines != BaselineAlignment::none) {
    auto baselineOf = [&](const StackMember& member) {
      const auto& baseline = baselines == BaselineAlignment::last ? member.measured.lastBaseline
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
    crossLength = std::max(crossLength, along(member.measured.size, cross));
  }
  for (StackMember& member : members) setCross(member, crossOffset(member.measured, crossLength));
  return crossLength;
}

// Pass 5: the stack's own baselines, from its first and last children that
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

Measured Layouter::layStack(
    Axis axis, const std::vector<View>& children, double spacing, const ProposedSize& proposal,
    const InheritedStyle& style, const std::optional<Placement>& placement,
    const std::function<double(const Measured&, double crossLength)>& crossOffset,
    BaselineAlignment baselines) {
  std::vector<StackMember> members = rankedMembers(*this, axis, children, proposal, style);
  allocateMainLengths(*this, axis, members, spacing, proposal, style);
  const double mainLength = placeAlongMain(axis, members, spacing);
  const double crossLength = placeAcross(axis, members, baselines, crossOffset);
  if (placement) {
    const ProposedLength cross = along(proposal, crossAxis(axis));
    for (const StackMember& member : members) {
      lay(*member.view, proposalOf(member.mainProposal, cross, axis), style, axis,
          Placement{{placement->origin.x + member.offset.x, placement->origin.y + member.offset.y},
                    placement->parent});
    }
  }
  return stackMeasurement(axis, members, mainLength, crossLength);
}

Measured Layouter::layZStack(const ZStack& stack, const ProposedSize& proposal,
                             const InheritedStyle& style,
                             const std::optional<Placement>& placement) {
  std::vector<Measured> sizes;
  Size size;
  for (const View& child : stack.children) {
    sizes.push_back(lay(child, proposal, style, std::nullopt, std::nullopt));
    size.width = std::max(size.width, sizes.back().size.width);
    size.height = std::max(size.height, sizes.back().size.height);
  }
  Measured measured{.size = size};
  for (std::size_t index = 0; index < stack.children.size(); ++index) {
    const Point offset{offsetFor(stack.alignment.horizontal, size.width - sizes[index].size.width),
                       offsetFor(stack.alignment.vertical, size.height - sizes[index].size.height)};
    if (!measured.firstBaseline && sizes[index].firstBaseline) {
      measured.firstBaseline = offset.y + *sizes[index].firstBaseline;
    }
    if (sizes[index].lastBaseline) measured.lastBaseline = offset.y + *sizes[index].lastBaseline;
    if (placement) {
      lay(stack.children[index], proposal, style, std::nullopt,
          Placement{{placement->origin.x + offset.x, placement->origin.y + offset.y},
                    placement->parent});
    }
  }
  return measured;
}

Measured shifted(Measured measured, double top) {
  if (measured.firstBaseline) *measured.firstBaseline += top;
  if (measured.lastBaseline) *measured.lastBaseline += top;
  return measured;
}

Measured Layouter::lay(const View& view, const ProposedSize& proposal, const InheritedStyle& style,
                       std::optional<Axis> stackAxis, const std::optional<Placement>& placement) {
  // When placing, the node is recorded before its children so that the
  // result is in pre-order; its frame is filled in once its size is known.
  int index = -1;
  std::optional<Placement> inner;
  if (placement) {
    index = static_cast<int>(result_.nodes.size());
    result_.nodes.push_back(
        NodeLayout{.node = &view.node(), .parent = placement->parent, .style = style});
    inner = Placement{placement->origin, index};
  }
  auto childAt = [&](double x, double y) -> std::optional<Placement> {
    if (!inner) return std::nullopt;
    return Placement{{inner->origin.x + x, inner->origin.y + y}, index};
  };
  auto passThrough = [&](const View& content, const InheritedStyle& contentStyle) {
    return lay(content, proposal, contentStyle, stackAxis, childAt(0, 0));
  };

  const Measured measured = std::visit(
      Overloaded{
          [&](const EmptyView&) { return Measured{}; },
          [&](const Text& text) {
            const TextRun run{displayedText(text), textFont(style.font), style.lineLimit};
            if (!proposal.width.isUnbounded() && proposal.width.value() <= 0) {
              // Offered no width at all, a text takes none (its lines would
              // hold one character each); its height stays that of a line.
              const TextMeasurement& ideal =
                  measure(&view.node(), run, ProposedLength::unbounded());
              return Measured{{0, ideal.size.height}, ideal.firstBaseline, ideal.firstBaseline};
            }
            const TextMeasurement& measurement = measure(&view.node(), run, proposal.width);
            return Measured{measurement.size, measurement.firstBaseline, measurement.lastBaseline};
          },
          [&](const Image& image) {
            const auto symbol = systemSymbolNamed(image.systemName);
            if (!symbol) return Measured{};
            const SymbolMetrics metrics = symbolMetrics(*symbol, textFont(style.font));
            return Measured{metrics.size, metrics.baseline, metrics.baseline};
          },
          [&](const Label& label) {
            const TextFont font = textFont(style.font);
            const LabelIcon icon = labelIcon(label, font);
            const ProposedLength titleWidth =
                proposal.width.isUnbounded()
                    ? ProposedLength::unbounded()
                    : ProposedLength::points(proposal.width.value() - icon.advance);
            const TextMeasurement& title = measure(
                &view.node(), {displayedText(label.title), font, style.lineLimit}, titleWidth);
            const LabelParts parts = arrangeLabel(icon, title, Point{});
            const double baseline = parts.title.minY() + title.firstBaseline;
            return Measured{{parts.title.maxX(), std::max(parts.icon.maxY(), parts.title.maxY())},
                            baseline,
                            parts.title.minY() + title.lastBaseline};
          },
          [&](const ColorFill&) {
            return Measured{.size = {proposal.width.valueOr(idealFillLength),
                                     proposal.height.valueOr(idealFillLength)}};
          },
          [&](const AccessoryWidgetBackground&) {
            return Measured{.size = {proposal.width.valueOr(idealFillLength),
                                     proposal.height.valueOr(idealFillLength)}};
          },
          [&](const Spacer& spacer) {
            const double least = spacer.minLength.resolved(defaultSpacerMinLength);
            if (!stackAxis) {
              return Measured{.size = {std::max(least, proposal.width.valueOr(least)),
                                       std::max(least, proposal.height.valueOr(least))}};
            }
            const double main = std::max(least, along(proposal, *stackAxis).valueOr(least));
            return Measured{.size = sizeOf(main, 0, *stackAxis)};
          },
          [&](const VStack& stack) {
            return layStack(
                Axis::vertical, stack.children, stack.spacing.resolved(defaultStackSpacing),
                proposal, style, inner,
                [&](const Measured& child, double width) {
                  return offsetFor(stack.alignment, width - child.size.width);
                },
                BaselineAlignment::none);
          },
          [&](const HStack& stack) {
            const BaselineAlignment baselines =
                stack.alignment == VerticalAlignment::firstTextBaseline  ? BaselineAlignment::first
                : stack.alignment == VerticalAlignment::lastTextBaseline ? BaselineAlignment::last
                                                                         : BaselineAlignment::none;
            return layStack(
                Axis::horizontal, stack.children, stack.spacing.resolved(defaultStackSpacing),
                proposal, style, inner,
                [&](const Measured& child, double height) {
                  return offsetFor(stack.alignment, height - child.size.height);
                },
                baselines);
          },
          [&](const ZStack& stack) { return layZStack(stack, proposal, style, inner); },
          [&](const PaddingModifier& padding) {
            const double length = padding.length.resolved(defaultPadding);
            auto inset = [&](Edge edge) { return padding.edges.contains(edge) ? length : 0.0; };
            const double top = inset(Edge::top);
            const double leading = inset(Edge::leading);
            const double horizontal = leading + inset(Edge::trailing);
            const double vertical = top + inset(Edge::bottom);
            auto shrink = [](ProposedLength offered, double by) {
              return offered.isUnbounded() ? offered : ProposedLength::points(offered.value() - by);
            };
            const Measured content =
                lay(padding.content,
                    {shrink(proposal.width, horizontal), shrink(proposal.height, vertical)}, style,
                    stackAxis, childAt(leading, top));
            Measured padded = shifted(content, top);
            padded.size = {content.size.width + horizontal, content.size.height + vertical};
            return padded;
          },
          [&](const FrameModifier& frame) {
            // Each axis with a maximum offers the content the proposal capped
            // at that maximum, and is as long as the proposal allows within
            // it (never shorter than the content).
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
            const ProposedSize contentProposal{capped(proposal.width, maxWidth),
                                               capped(proposal.height, maxHeight)};
            const Measured content =
                lay(frame.content, contentProposal, style, stackAxis, std::nullopt);
            auto lengthOf = [](ProposedLength offered, std::optional<double> maximum,
                               double contentLength) {
              if (!maximum) return contentLength;
              if (offered.isUnbounded()) return std::min(*maximum, contentLength);
              return std::min(*maximum, std::max(offered.value(), contentLength));
            };
            const Size size{lengthOf(proposal.width, maxWidth, content.size.width),
                            lengthOf(proposal.height, maxHeight, content.size.height)};
            const double left =
                offsetFor(frame.options.alignment.horizontal, size.width - content.size.width);
            const double top =
                offsetFor(frame.options.alignment.vertical, size.height - content.size.height);
            if (inner) lay(frame.content, contentProposal, style, stackAxis, childAt(left, top));
            Measured framed = shifted(content, top);
            framed.size = size;
            return framed;
          },
          [&](const BackgroundModifier& background) {
            return passThrough(background.content, style);
          },
          [&](const FontModifier& font) {
            InheritedStyle contentStyle = style;
            contentStyle.font = font.font;
            return passThrough(font.content, contentStyle);
          },
          [&](const ForegroundColorModifier& color) {
            InheritedStyle contentStyle = style;
            contentStyle.foregroundColor = color.color;
            return passThrough(color.content, contentStyle);
          },
          [&](const LineLimitModifier& limit) {
            InheritedStyle contentStyle = style;
            contentStyle.lineLimit = limit.lines;
            return passThrough(limit.content, contentStyle);
          },
          [&](const WidgetURLModifier& url) { return passThrough(url.content, style); },
          [&](const ContainerBackgroundModifier& background) {
            return passThrough(background.content, style);
          },
          // Readers are evaluated before layout; one left over takes no room.
          [&](const EnvironmentReader&) { return Measured{}; },
      },
      view.node().kind);

  if (index >= 0) {
    NodeLayout& recorded = result_.nodes[static_cast<std::size_t>(index)];
    recorded.frame = Rect{placement->origin, measured.size};
    if (measured.firstBaseline)
      recorded.firstBaseline = placement->origin.y + *measured.firstBaseline;
  }
  return measured;
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

LabelParts labelParts(const Label& label, const Rect& frame, const InheritedStyle& style) {
  const TextFont font = textFont(style.font);
  const LabelIcon icon = labelIcon(label, font);
  const TextMeasurement title =
      measureText({displayedText(label.title), font, style.lineLimit},
                  ProposedLength::points(frame.size.width - icon.advance));
  return arrangeLabel(icon, title, frame.origin);
}

LayoutResult layout(const View& root, Size canvas, const InheritedStyle& style) {
  LayoutResult result{.canvas = canvas, .nodes = {}};
  Layouter layouter(result);
  const ProposedSize proposal{ProposedLength::points(canvas.width),
                              ProposedLength::points(canvas.height)};
  const Measured measured = layouter.lay(root, proposal, style, std::nullopt, std::nullopt);
  const Point origin{(canvas.width - measured.size.width) / 2,
                     (canvas.height - measured.size.height) / 2};
  (void)layouter.lay(root, proposal, style, std::nullopt, Placement{origin, -1});
  return result;
}

}  // namespace brisklane
