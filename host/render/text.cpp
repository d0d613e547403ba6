// Pango layouts for measuring and drawing. See text.h for what is shared
// between threads and what is not.
#include "host/render/text.h"

#include <pango/pangocairo.h>

#include <array>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace brisklane {
namespace {

constexpr std::array allWeights{InterWeight::regular, InterWeight::semibold, InterWeight::bold,
                                InterWeight::extraBold};

// One description per weight, created once for the process and only read
// afterwards; a layout gets a sized copy of one of them.
const PangoFontDescription* familyDescription(InterWeight weight) {
  static const std::array<PangoFontDescription*, allWeights.size()> descriptions = [] {
    std::array<PangoFontDescription*, allWeights.size()> built{};
    for (std::size_t index = 0; index < allWeights.size(); ++index) {
      PangoFontDescription* description = pango_font_description_new();
      pango_font_description_set_family_static(description, "Inter");
      pango_font_description_set_style(description, PANGO_STYLE_NORMAL);
      pango_font_description_set_weight(description, static_cast<PangoWeight>(allWeights[index]));
      built[index] = description;
    }
    return built;
  }();
  for (std::size_t index = 0; index < allWeights.size(); ++index) {
    if (allWeights[index] == weight) return descriptions[index];
  }
  return descriptions[0];
}

struct ObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
struct DescriptionRelease {
  void operator()(PangoFontDescription* description) const {
    pango_font_description_free(description);
  }
};
using LayoutHandle = std::unique_ptr<PangoLayout, ObjectRelease>;
using SharedLayout = std::shared_ptr<PangoLayout>;

// This thread's shaping context: unhinted outlines and metrics, positions
// not rounded to whole units, so that measurements do not depend on scale.
PangoContext* threadContext() {
  thread_local const std::unique_ptr<PangoContext, ObjectRelease> context = [] {
    PangoContext* created = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(created, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(created, FALSE);
    return std::unique_ptr<PangoContext, ObjectRelease>(created);
  }();
  return context.get();
}

int pangoUnits(double points) {
  return static_cast<int>(std::lround(points * PANGO_SCALE));
}

LayoutHandle buildLayout(const TextRun& run, ProposedLength width) {
  LayoutHandle layout(pango_layout_new(threadContext()));
  std::unique_ptr<PangoFontDescription, DescriptionRelease> description(
      pango_font_description_copy_static(familyDescription(run.font.weight)));
  pango_font_description_set_absolute_size(description.get(), run.font.pointSize * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), description.get());
  pango_layout_set_text(layout.get(), run.text.data(), static_cast<int>(run.text.size()));
  if (!width.isUnbounded()) {
    pango_layout_set_width(layout.get(), std::max(0, pangoUnits(width.value())));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
  }
  if (run.lineLimit) {
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    pango_layout_set_height(layout.get(), -std::max(1, *run.lineLimit));
  }
  return layout;
}

// The layouts this thread made last. A text is measured, then drawn from the
// same layout; and every round lays out and draws mostly the texts of the
// round before, so shaping, which dominates both, is mostly done once per
// text rather than once per round. A layout is never changed once made, and
// the cache holds few enough to cost nothing worth noting.
class RecentLayouts {
 public:
  SharedLayout layoutFor(const TextRun& run, ProposedLength width) {
    const Key key{run.text, run.font, run.lineLimit,
                  width.isUnbounded() ? std::optional<int>() : pangoUnits(width.value())};
    for (const auto& [cachedKey, layout] : entries_) {
      if (cachedKey == key) return layout;
    }
    SharedLayout layout(buildLayout(run, width).release(),
                        [](PangoLayout* made) { g_object_unref(made); });
    if (entries_.size() < capacity) {
      entries_.emplace_back(key, layout);
    } else {
      entries_[next_] = {key, layout};
      next_ = (next_ + 1) % capacity;
    }
    return layout;
  }

 private:
  static constexpr std::size_t capacity = 32;
  struct Key {
    std::string text;
    TextFont font;
    std::optional<int> lineLimit;
    std::optional<int> width;  // Pango units; nothing when unbounded
    friend bool operator==(const Key&, const Key&) = default;
  };
  std::vector<std::pair<Key, SharedLayout>> entries_;
  std::size_t next_ = 0;
};

SharedLayout makeLayout(const TextRun& run, ProposedLength width) {
  thread_local RecentLayouts recent;
  return recent.layoutFor(run, width);
}

}  // namespace

TextMeasurement measureText(const TextRun& run, ProposedLength width) {
  const SharedLayout layout = makeLayout(run, width);
  PangoRectangle logical{};
  pango_layout_get_extents(layout.get(), nullptr, &logical);
  PangoLayoutIter* lines = pango_layout_get_iter(layout.get());
  while (pango_layout_iter_next_line(lines) != FALSE) {
  }
  const int lastBaseline = pango_layout_iter_get_baseline(lines);
  pango_layout_iter_free(lines);
  return TextMeasurement{
      .size = {.width = static_cast<double>(logical.x + logical.width) / PANGO_SCALE,
               .height = static_cast<double>(logical.height) / PANGO_SCALE},
      .firstBaseline = static_cast<double>(pango_layout_get_baseline(layout.get())) / PANGO_SCALE,
      .lastBaseline = static_cast<double>(lastBaseline) / PANGO_SCALE,
      .lineCount = pango_layout_get_line_count(layout.get()),
      .truncated = pango_layout_is_ellipsized(layout.get()) != FALSE,
  };
}

void drawText(cairo_t* cairo, const TextRun& run, Point origin, ProposedLength width,
              TextColor color) {
  const SharedLayout layout = makeLayout(run, width);
  cairo_save(cairo);
  cairo_set_source_rgba(cairo, color.red, color.green, color.blue, color.opacity);
  cairo_move_to(cairo, origin.x, origin.y);
  pango_cairo_show_layout(cairo, layout.get());
  cairo_restore(cairo);
}

}  // namespace brisklane

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRISKLANE_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BRISKLANE_ADDRESS_SANITIZER 1
#endif
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRISKLANE_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define BRISKLANE_THREAD_SANITIZER 1
#endif

#ifdef BRISKLANE_ADDRESS_SANITIZER
// Fontconfig, Pango, HarfBuzz, GLib and Cairo keep caches of fonts and
// configuration for the life of the process and never free them; the leak
// checker is told so, and still checks every allocation of ours. Lives here
// because every program that draws links this file.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpango-1.0.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libpangocairo-1.0.so\n"
         "leak:libharfbuzz.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libcairo.so\n";
}
#endif

#ifdef BRISKLANE_THREAD_SANITIZER
// The font libraries are not built with the thread checker, so their own
// locks and atomics are invisible to it and every first use of their shared
// caches looks like a race (and Pango hands fontconfig's lock from its
// start-up thread to the caller's). Reports whose stacks run through them are
// dropped; races in our own code are still reported.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\n"
         "race:libglib-2.0.so\n"
         "race:libgobject-2.0.so\n"
         "race:libharfbuzz.so\n"
         "race:libpango-1.0.so\n"
         "race:libpangoft2-1.0.so\n"
         "race:libpangocairo-1.0.so\n"
         "race:libfreetype.so\n"
         "race:libcairo.so\n"
         "mutex:libpangoft2-1.0.so\n"
         "mutex:libfontconfig.so\n"
         "called_from_lib:libfontconfig.so\n"
         "called_from_lib:libglib-2.0.so\n";
}
#endif
