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

TEST(LoadPayload, ReadsThePublishedSummaryAndEveryFailureLeavesTheStoreAlone) {
  TemporaryDevice device;
  EXPECT_FALSE(loadPayload());
  store(todayKey, R"({"tier":"urgent","count":3,"items":[{"title":"x"}]})");
  EXPECT_EQ(loadPayload().value().count, 3);

  const std::string broken = R"({"count":"3","items":[]})";
  store(todayKey, broken);
  EXPECT_FALSE(loadPayload());
  EXPECT_EQ(UserDefaults::open(appGroupIdentifier)->string(todayKey), broken);
  store(todayKey, "");
  EXPECT_FALSE(loadPayload());
  store(todayKey, R"({"count":1,"items":[]})");
  for (StoreFault fault : {StoreFault::read, StoreFault::open}) {
    StoreFaultInjection injected(fault);
    EXPECT_FALSE(loadPayload());
  }
  EXPECT_TRUE(loadPayload());  // each call starts afresh
}

TEST(LinkStatus, TellsTheThreeStatesOfTheStoreByteExactly) {
  TemporaryDevice device;
  EXPECT_EQ(linkStatus(), "App can't share data");
  store(todayKey, R"({"count":1,"items":[]})");
  EXPECT_EQ(linkStatus(), "App can't share data");  // "today" is not looked at
  store(todayKey, "");
  store(diagKey, "loaded @1765132200");
  EXPECT_EQ(linkStatus(), "Linked \xe2\x9c\x93 \xe2\x80\x94 reopen app");
  {
    StoreFaultInjection fault(StoreFault::open);
    EXPECT_EQ(linkStatus(), "No App Group (widget)");
  }
  std::ofstream(device.root() / "file") << "x";
  ::setenv("BRISKLANE_HOME", (device.root() / "file").c_str(), 1);
  EXPECT_EQ(linkStatus(), "No App Group (widget)");
}

TEST(TierVocabulary, OnlyTheExactWordsSelectUrgentAndImportant) {
  EXPECT_EQ(tierLabel("urgent"), "URGENT");
  EXPECT_EQ(&tierColor("urgent"), &urgentColor());
  EXPECT_EQ(tierLabel("important"), "IMPORTANT");
  EXPECT_EQ(&tierColor("important"), &importantColor());
  for (std::optional<std::string> calm :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("later"), std::optional<std::string>("Urgent"),
        std::optional<std::string>("important ")}) {
    EXPECT_EQ(tierLabel(calm), "ALL CLEAR") << calm.value_or("<absent>");
    EXPECT_EQ(&tierColor(calm), &calmColor());
  }
}

}  // namespace
}  // namespace brisklane
