#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/capacitor/application_delegate_proxy.h"

namespace brisklane {
namespace {

using Key = UIApplication::OpenURLOptionsKey;

class AppDelegateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    observation = ApplicationDelegateProxy::shared().addObserver(
        {.openURL = [this](const auto& notice) { opened.push_back(notice); },
         .universalLink = [this](const auto& notice) { linked.push_back(notice); }});
  }

  UIApplication application;
  AppDelegate delegate;
  std::vector<ApplicationDelegateProxy::OpenURLNotice> opened;
  std::vector<ApplicationDelegateProxy::UniversalLinkNotice> linked;
  std::unique_ptr<ApplicationDelegateProxy::Observation> observation;
};

// The life-cycle notices and the window are the runtime's; the delegate's own
// part is to create nothing at launch and to forward every URL unchanged.
TEST_F(AppDelegateTest, LaunchesWithoutAWindowAndForwardsEveryURLUnchangedWithItsOptions) {
  EXPECT_TRUE(delegate.applicationDidFinishLaunchingWithOptions(
      application, {{UIApplication::LaunchOptionsKey::url, "brisklane://today"}}));
  EXPECT_EQ(delegate.window(), nullptr);
  EXPECT_TRUE(opened.empty()) << "a launch URL is not opened by the delegate itself";

  const std::string url = "x-other+1.2:%20odd//path?q=%E2%9C%93";
  UIApplication::OpenURLOptions options = {
      {Key::sourceApplication, std::string("com.example.Mail")},
      {Key::openInPlace, true},
      {Key::annotation, std::string("")}};
  EXPECT_TRUE(delegate.applicationOpenURL(application, url, options));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].application, &application);
  EXPECT_EQ(opened[0].url, url);
  EXPECT_EQ(opened[0].options, options);
}

// Only a browsing activity with a page is a universal link; its restoration
// handler outlives the call as a wrapper that passes nothing on.
TEST_F(AppDelegateTest, ForwardsUniversalLinksWithARestorationWrapper) {
  EXPECT_FALSE(
      delegate.applicationContinueUserActivity(application, {"com.example.edit", {}}, nullptr));
  EXPECT_FALSE(delegate.applicationContinueUserActivity(
      application, {std::string(NSUserActivityTypeBrowsingWeb), std::nullopt}, nullptr));
  EXPECT_TRUE(linked.empty());

  struct Record {
    int calls = 0;
    std::optional<RestorableObjects> objects = RestorableObjects{};
  };
  auto record = std::make_shared<Record>();
  NSUserActivity browsing{std::string(NSUserActivityTypeBrowsingWeb), "https://example.com/t"};
  {
    RestorationHandler platformHandler = [record](std::optional<RestorableObjects> objects) {
      ++record->calls;
      record->objects = std::move(objects);
    };
    EXPECT_TRUE(delegate.applicationContinueUserActivity(application, browsing, platformHandler));
  }  // the platform's own handler is gone; the wrapper holds a copy
  ASSERT_EQ(linked.size(), 1u);
  EXPECT_EQ(linked[0].userActivity, browsing);
  EXPECT_EQ(record->calls, 0) << "the proxy decides whether to call the handler";
  RestorationHandler wrapper = linked[0].restorationHandler;
  ASSERT_TRUE(wrapper);
  wrapper(std::nullopt);
  EXPECT_EQ(record->calls, 1);
  EXPECT_EQ(record->objects, std::nullopt) << "nothing, not an empty list";
  auto restorable = std::make_shared<NSObject>();
  wrapper(RestorableObjects{restorable});
  EXPECT_EQ(record->calls, 2);
  EXPECT_EQ(record->objects, std::optional(RestorableObjects{restorable}));
}

}  // namespace
}  // namespace brisklane
