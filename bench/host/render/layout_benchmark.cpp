// Laying out stacks nested 1 to 16 deep around one text, vertical and
// horizontal in turn, on a medium widget's canvas. Each figure is the time
// per node laid out, beside the floor of the text laid out alone: when the
// work grows linearly with the depth, the ratio stays near 1. The counter
// `measurements_per_node` is how many sizes the layout computed per node.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/support/ratio_main.h"
#include "host/render/layout.h"

namespace brisklane {
namespace {

constexpr Size canvas{329, 155};

View nestedStacks(int depth) {
  View view = Text::verbatim("Envoyer galerie");
  for (int level = 0; level < depth; ++level) {
    if (level % 2 == 0) {
      view = VStack{
          .alignment = HorizontalAlignment::leading, .spacing = hostDefault, .children = {view}};
    } else {
      view = HStack{
          .alignment = VerticalAlignment::center, .spacing = hostDefault, .children = {view}};
    }
  }
  return view;
}

void layoutNested(benchmark::State& state) {
  const auto depth = static_cast<int>(state.range(0));
  const View tree = nestedStacks(depth);
  const int nodes = depth + 1;
  LayoutResult laidOut;
  for (auto _ : state) {
    laidOut = layout(tree, canvas);
    benchmark::DoNotOptimize(laidOut);
  }
  state.SetItemsProcessed(state.iterations() * nodes);
  state.counters["measurements_per_node"] = static_cast<double>(laidOut.measurements) / nodes;
}
BENCHMARK(layoutNested)->ArgName("depth")->Arg(0)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16);

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  std::vector<brisklane::bench::Ratio> ratios;
  for (const char* depth : {"1", "2", "4", "8", "16"}) {
    ratios.push_back({std::string("layoutNested/depth:") + depth, "layoutNested/depth:0"});
  }
  return brisklane::bench::runWithRatios(argc, argv, ratios);
}
