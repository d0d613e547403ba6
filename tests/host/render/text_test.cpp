#include "host/render/text.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace brisklane {
namespace {

const TextFont body{.pointSize = 13, .weight = InterWeight::regular};

TEST(TextMeasurement, CutsOneLineTextsAtTheEndAndWrapsTextsWithoutALineLimit) {
  const TextRun title{"Prepare the quarterly report for the board", body, 1};
  const TextMeasurement ideal = measureText(title, ProposedLength::unbounded());
  EXPECT_FALSE(ideal.truncated);
  EXPECT_EQ(ideal.lineCount, 1);
  const TextMeasurement cut = measureText(title, ProposedLength::points(80));
  EXPECT_TRUE(cut.truncated);
  EXPECT_EQ(cut.lineCount, 1);
  EXPECT_LE(cut.size.width, 80);
  EXPECT_DOUBLE_EQ(cut.size.height, ideal.size.height);
  // Exactly its own width: nothing is cut.
  EXPECT_FALSE(measureText(title, ProposedLength::points(ideal.size.width)).truncated);

  const TextRun message{"Linked \u2713 \u2014 reopen app", body, std::nullopt};
  const TextMeasurement line = measureText(message, ProposedLength::unbounded());
  const TextMeasurement wrapped = measureText(message, ProposedLength::points(line.size.width / 2));
  EXPECT_GE(wrapped.lineCount, 2);
  EXPECT_FALSE(wrapped.truncated);
  EXPECT_LE(wrapped.size.width, line.size.width / 2);
  EXPECT_NEAR(wrapped.size.height, line.size.height * wrapped.lineCount, 0.5);
  EXPECT_DOUBLE_EQ(wrapped.firstBaseline, line.firstBaseline);
  EXPECT_GT(wrapped.lastBaseline, wrapped.firstBaseline);
}

TEST(TextMeasurement, GivesTheSameAnswersOnManyThreadsAtOnce) {
  const TextRun run{"Envoyer galerie  \u00B7  Mariage", {12, InterWeight::semibold}, 1};
  const TextMeasurement expected = measureText(run, ProposedLength::points(90));
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (std::size_t index = 0; index < mismatches.size(); ++index) {
    threads.emplace_back([&, index] {
      for (int round = 0; round < 50; ++round) {
        const TextMeasurement measured = measureText(run, ProposedLength::points(90));
        if (measured.size != expected.size || measured.firstBaseline != expected.firstBaseline) {
          ++mismatches[index];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : mismatches) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace brisklane
