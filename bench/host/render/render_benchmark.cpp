// Drawing each widget in each of its families, to PNG (3x) and to SVG, beside
// the floor of the same output without any widget: a surface of the same
// size filled with one colour and encoded the same way. The ratio of the
// medians is printed at the end.
//
// Each measured render starts from the provider's entry: content function,
// evaluation for the family, layout, drawing and encoding.
#include <benchmark/benchmark.h>
#include <cairo-svg.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "bench/support/figures.h"
#include "host/render/draw.h"
#include "host/render/png_writer.h"
#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

// A widget in a family with the entry it is drawn from: the Today widget
// with a full list and an overflow line, the Quick-add widget as it always is.
struct Subject {
  const WidgetConfiguration* widget;
  WidgetFamily family;
  AnyEntry entry;
};

const std::vector<WidgetConfiguration>& widgets() {
  static const std::vector<WidgetConfiguration> declared = BrisklaneWidgetBundle{}.body();
  return declared;
}

AnyEntry timelineEntry(const WidgetConfiguration& widget, WidgetFamily family) {
  std::optional<AnyEntry> entry;
  widget.getTimeline(TimelineProviderContext{.family = family, .isPreview = false},
                     [&entry](Timeline<AnyEntry> timeline) { entry = timeline.entries.front(); });
  return *entry;
}

WidgetScene sceneOf(const Subject& subject) {
  return makeScene(evaluated(subject.widget->content(subject.entry),
                             EnvironmentValues{.widgetFamily = subject.family}),
                   subject.family, defaultDeviceClass);
}

void renderPngOf(benchmark::State& state, Subject subject) {
  for (auto _ : state) {
    auto bytes = renderPng(sceneOf(subject));
    benchmark::DoNotOptimize(bytes);
  }
}

void renderSvgOf(benchmark::State& state, Subject subject) {
  for (auto _ : state) {
    auto document = renderSvg(sceneOf(subject));
    benchmark::DoNotOptimize(document);
  }
}

cairo_status_t discard(void*, const unsigned char*, unsigned int) {
  return CAIRO_STATUS_SUCCESS;
}

void floorPngOf(benchmark::State& state, Size size) {
  for (auto _ : state) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(std::ceil(size.width * drawingScale)),
                                   int(std::ceil(size.height * drawingScale)));
    cairo_t* cairo = cairo_create(surface);
    cairo_set_source_rgb(cairo, 0.059, 0.106, 0.176);
    cairo_paint(cairo);
    cairo_destroy(cairo);
    auto bytes = encodePng(surface);
    benchmark::DoNotOptimize(bytes);
    cairo_surface_destroy(surface);
  }
}

void floorSvgOf(benchmark::State& state, Size size) {
  for (auto _ : state) {
    cairo_surface_t* surface =
        cairo_svg_surface_create_for_stream(discard, nullptr, size.width, size.height);
    cairo_t* cairo = cairo_create(surface);
    cairo_set_source_rgb(cairo, 0.059, 0.106, 0.176);
    cairo_rectangle(cairo, 0, 0, size.width, size.height);
    cairo_fill(cairo);
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
  }
}

// Collects each benchmark's median time while the console shows the runs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printRatios() const {
    std::printf("\n%-48s %9s %9s %9s %9s %7s\n", "median of 5", "real ms", "cpu ms", "floor ms",
                "floor cpu", "ratio");
    for (const auto& [name, time] : medians_) {
      if (!name.starts_with("render/")) continue;
      const std::string floorName = "floor/" + name.substr(std::string_view("render/").size());
      const auto floor = medians_.find(floorName);
      if (floor == medians_.end()) continue;
      std::printf("%-48s %9.3f %9.3f %9.3f %9.3f %7.2f\n", name.c_str(), time.real, time.cpu,
                  floor->second.real, floor->second.cpu, time.cpu / floor->second.cpu);
      bench::recordFigure(name + " (cpu, median)", time.cpu, floorName + " (cpu, median)",
                          floor->second.cpu);
    }
  }

 private:
  struct Times {
    double real;  // milliseconds, as the benchmarks are registered
    double cpu;
  };
  std::map<std::string, Times> medians_;
};

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  using namespace brisklane;
  // A device of the run's own, holding a full Today summary.
  char root[] = "/tmp/brisklane-bench.XXXXXX";
  if (::mkdtemp(root) == nullptr) return 1;
  ::setenv("BRISKLANE_HOME", root, 1);
  {
    auto store = UserDefaults::open(appGroupIdentifier);
    if (!store) return 1;
    store->set("loaded @1765000000", diagKey);
    store->set(R"({"tier":"urgent","count":10,"items":[)"
               R"({"title":"Call the plumber","project":"Home"},)"
               R"({"title":"Renew the passport"},)"
               R"({"title":"Pay the electricity bill","project":"Home"},)"
               R"({"title":"Book the dentist"},)"
               R"({"title":"Send the invoices","project":"Work"},)"
               R"({"title":"Water the plants"}]})",
               todayKey);
  }

  for (const WidgetConfiguration& widget : widgets()) {
    for (WidgetFamily family : widget.supportedFamilies) {
      const Subject subject{&widget, family, timelineEntry(widget, family)};
      const Size size = familySize(defaultDeviceClass, family);
      const std::string suffix = widget.kind + "/" + std::string(name(family));
      for (auto* benchmark : {
               benchmark::RegisterBenchmark(("render/png/" + suffix).c_str(), renderPngOf, subject),
               benchmark::RegisterBenchmark(("floor/png/" + suffix).c_str(), floorPngOf, size),
               benchmark::RegisterBenchmark(("render/svg/" + suffix).c_str(), renderSvgOf, subject),
               benchmark::RegisterBenchmark(("floor/svg/" + suffix).c_str(), floorSvgOf, size),
           }) {
        benchmark->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
      }
    }
  }

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return 0;
}
