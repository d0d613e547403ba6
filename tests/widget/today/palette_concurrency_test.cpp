// The palette is created once, on first use, also when many threads reach it
// at the same moment: here every thread's first view evaluation is that first
// use. Run under ThreadSanitizer (label `concurrency`); each test is its own
// process, so nothing has touched the palette before the threads start.
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "tests/support/temporary_device.h"
#include "widget/today/palette.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

struct Sighting {
  const Color* background = nullptr;
  const Color* muted = nullptr;
  const Color* tier = nullptr;
  View today;
  View voice;
};

TEST(PaletteConcurrency, ConcurrentFirstUseCreatesEachColourOnce) {
  testing::TemporaryDevice device;
  constexpr int threadCount = 16;
  std::vector<Sighting> sightings(threadCount);
  std::latch start(threadCount);
  std::vector<std::thread> threads;
  TodayPayload urgent{.tier = "urgent", .count = 7, .items = {TodayItem{.title = "a"}}};

  for (int index = 0; index < threadCount; ++index) {
    threads.emplace_back([&, index] {
      std::vector<WidgetConfiguration> widgets = BrisklaneWidgetBundle{}.body();
      // Half the threads show a summary, half an entry without one (which
      // reads the store); all of them draw the background first thing.
      std::optional<TodayPayload> payload;
      if (index % 2 == 0) payload = urgent;
      EnvironmentValues environment{.widgetFamily = index % 4 < 2 ? WidgetFamily::systemSmall
                                                                  : WidgetFamily::systemMedium};
      start.arrive_and_wait();
      Sighting& seen = sightings[index];
      seen.today =
          evaluated(widgets[0].content(anyEntry(TodayEntry{Date::now(), payload})), environment);
      seen.voice = evaluated(widgets[1].content(anyEntry(VoiceEntry{Date::now()})),
                             EnvironmentValues{.widgetFamily = WidgetFamily::systemSmall});
      seen.background = &backgroundColor();
      seen.muted = &mutedTextColor();
      seen.tier = &tierColor(std::string("urgent"));
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int index = 0; index < threadCount; ++index) {
    const Sighting& seen = sightings[index];
    EXPECT_EQ(seen.background, &backgroundColor()) << "one constant, seen by thread " << index;
    EXPECT_EQ(seen.muted, &mutedTextColor());
    EXPECT_EQ(seen.tier, &urgentColor());
    EXPECT_EQ(seen.voice, sightings[0].voice);
    if (index >= 4) {
      EXPECT_EQ(seen.today, sightings[index % 4].today) << "same entry and family";
    }
  }
  EXPECT_EQ(backgroundColor(), Color::sRGB(0.059, 0.106, 0.176));
  EXPECT_EQ(mutedTextColor(), Color::sRGB(0.624, 0.702, 0.784));
  EXPECT_EQ(urgentColor(), Color::sRGB(0.898, 0.282, 0.302));
}

}  // namespace
}  // namespace brisklane
