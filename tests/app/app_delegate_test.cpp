// The delegate's launch and its forwarding of opened URLs are checked end to
// end, through App's runtime: App's process test and the home screen's browser
// test. Here, what no process shows: which activities are universal links, and
// the restoration handler the delegate hands on in place of the platform's.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/capacitor/application_delegate_proxy.h"

namespace brisklane {
namespace {

TEST(AppDelegate, ForwardsUniversalLinksWithARestorationWrapper) {
  UIApplication application;
  AppDelegate delegate;
  std::vector<ApplicationDelegateProxy::UniversalLinkNotice> linked;
  auto observation = ApplicationDelegateProxy::shared().addObserver(
      {.universalLink = [&linked](const auto& notice) { linked.push_back(notice); }});
  EXPECT_FALSE(
      delegate.applicationContinueUserActivity(application, {"com.example.edit", {}}, nullptr));
  EXPECT_FALSE(delegate.applicationContinueUserActivity(
      application, {std::string(NSUserActivityTypeBrowsingWeb), std::nullopt}, nullptr));
  EXPECT_TRUE(linked.empty());

  std::vector<std::optional<RestorableObjects>> handed;  // what reached the platform's handler
  NSUserActivity browsing{std::string(NSUserActivityTypeBrowsingWeb), "https://example.com/t"};
  {
    RestorationHandler platformHandler = [&handed](std::optional<RestorableObjects> objects) {
      handed.push_back(std::move(objects));
    };
    EXPECT_TRUE(delegate.applicationContinueUserActivity(application, browsing, platformHandler));
  }  // the platform's own handler is gone; the wrapper holds a copy
  ASSERT_EQ(linked.size(), 1u);
  EXPECT_EQ(linked[0].userActivity, browsing);
  EXPECT_TRUE(handed.empty()) << "the proxy decides whether to call the handler";
  auto restorable = std::make_shared<NSObject>();
  linked[0].restorationHandler(std::nullopt);
  linked[0].restorationHandler(RestorableObjects{restorable});
  EXPECT_EQ(handed, (std::vector<std::optional<RestorableObjects>>{std::nullopt,
                                                                   RestorableObjects{restorable}}))
      << "nothing stays nothing, not an empty list";
}

}  // namespace
}  // namespace brisklane
