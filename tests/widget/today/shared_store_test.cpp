#include "widget/today/shared_store.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/foundation/user_defaults.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"
#include "widget/today/palette.h"

namespace brisklane {
namespace {

using testing::StoreFault;
using testing::StoreFaultInjection;
using testing::TemporaryDevice;

void store(std::string_view key, std::string_view value) {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(defaults);
  ASSERT_TRUE(defaults->set(value, key));
}

TEST(LoadPayload, ReadsThePublishedSummary) {
  TemporaryDevice device;
  EXPECT_FALSE(loadPayload());
  store(todayKey, R"({"tier":"urgent","count":3,"items":[{"title":"x"}]})");
  auto payload = loadPayload();
  ASSERT_TRUE(payload);
  EXPECT_EQ(payload->count, 3);
}

TEST(LoadPayload, EveryFailureGivesNoPayloadAndLeavesTheStoreAlone) {
  TemporaryDevice device;
  const std::string broken = R"({"count":"3","items":[]})";
  store(todayKey, broken);
  EXPECT_FALSE(loadPayload());
  EXPECT_EQ(UserDefaults::open(appGroupIdentifier)->string(todayKey), broken);

  store(todayKey, "");
  EXPECT_FALSE(loadPayload());
  {
    StoreFaultInjection fault(StoreFault::read);
    store(todayKey, R"({"count":1,"items":[]})");
    EXPECT_FALSE(loadPayload());
  }
  {
    StoreFaultInjection fault(StoreFault::open);
    EXPECT_FALSE(loadPayload());
  }
  EXPECT_TRUE(loadPayload());  // each call starts afresh
}

TEST(LinkStatus, TellsTheThreeStatesOfTheStoreByteExactly) {
  TemporaryDevice device;
  EXPECT_EQ(linkStatus(), "App can't share data");
  store(todayKey, R"({"count":1,"items":[]})");
  EXPECT_EQ(linkStatus(), "App can't share data");  // "today" is not looked at
  store(diagKey, "");
  EXPECT_EQ(linkStatus(), "Linked \xe2\x9c\x93 \xe2\x80\x94 reopen app");
  EXPECT_EQ(linkStatus().size(), 25u);
  {
    StoreFaultInjection fault(StoreFault::open);
    EXPECT_EQ(linkStatus(), "No App Group (widget)");
  }
  std::ofstream(device.root() / "file") << "x";
  ::setenv("BRISKLANE_HOME", (device.root() / "file").c_str(), 1);
  EXPECT_EQ(linkStatus(), "No App Group (widget)");
}

TEST(LinkStatus, AnyDiagValueCountsEvenWithoutASummary) {
  TemporaryDevice device;
  store(diagKey, "loaded @1765132200");
  EXPECT_FALSE(loadPayload());
  EXPECT_EQ(linkStatus(), linkedMessage);
}

TEST(TierVocabulary, OnlyTheExactWordsSelectUrgentAndImportant) {
  EXPECT_EQ(tierLabel("urgent"), "URGENT");
  EXPECT_EQ(tierColor("urgent"), Color::sRGB(0.898, 0.282, 0.302));
  EXPECT_EQ(tierLabel("important"), "IMPORTANT");
  EXPECT_EQ(tierColor("important"), Color::sRGB(0.961, 0.651, 0.137));
  for (std::optional<std::string> calm :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("Urgent"), std::optional<std::string>("URGENT"),
        std::optional<std::string>("important "), std::optional<std::string>("later")}) {
    EXPECT_EQ(tierLabel(calm), "ALL CLEAR") << calm.value_or("<absent>");
    EXPECT_EQ(&tierColor(calm), &calmColor());
  }
  EXPECT_EQ(calmColor(), Color::sRGB(0.227, 0.431, 0.647));
  EXPECT_EQ(backgroundColor(), Color::sRGB(0.059, 0.106, 0.176));
  EXPECT_EQ(mutedTextColor(), Color::sRGB(0.624, 0.702, 0.784));
}

}  // namespace
}  // namespace brisklane
