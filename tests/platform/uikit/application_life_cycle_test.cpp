#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/uikit/uikit.h"

namespace brisklane {
namespace {

// Writes down each notice the delegate gets and each notification posted,
// in the order they come, with the state the application is in by then.
class RecordingDelegate final : public UIApplicationDelegate {
 public:
  explicit RecordingDelegate(std::vector<std::string>& heard) : heard_(heard) {}
  void applicationWillResignActive(UIApplication& application) override {
    note("willResignActive", application);
  }
  void applicationDidEnterBackground(UIApplication& application) override {
    note("didEnterBackground", application);
  }
  void applicationWillEnterForeground(UIApplication& application) override {
    note("willEnterForeground", application);
  }
  void applicationDidBecomeActive(UIApplication& application) override {
    note("didBecomeActive", application);
  }
  void applicationWillTerminate(UIApplication& application) override {
    note("willTerminate", application);
  }

 private:
  void note(const std::string& notice, const UIApplication& application) {
    heard_.push_back(notice + " " + std::string(name(application.applicationState())));
  }
  std::vector<std::string>& heard_;
};

TEST(ApplicationLifeCycle, TellsTheDelegateThenTheObserversEachStepInThePlatformsOrder) {
  std::vector<std::string> heard;
  RecordingDelegate delegate(heard);
  UIApplication application;
  application.setDelegate(&delegate);
  std::vector<std::unique_ptr<NotificationCenter::Observation>> observations;
  for (std::string_view notification :
       {UIApplicationDidBecomeActiveNotification, UIApplicationWillResignActiveNotification,
        UIApplicationDidEnterBackgroundNotification, UIApplicationWillEnterForegroundNotification,
        UIApplicationWillTerminateNotification}) {
    observations.push_back(NotificationCenter::defaultCenter().addObserver(
        std::string(notification), [&heard, notification] {
          heard.push_back(std::string(notification.substr(13)));  // without "UIApplication"
        }));
  }

  ApplicationLifeCycle lifeCycle(application);
  EXPECT_EQ(application.applicationState(), UIApplication::State::inactive) << "while launching";
  lifeCycle.becomeActive();
  lifeCycle.enterForeground();  // already in front: nothing
  lifeCycle.enterBackground();
  lifeCycle.enterBackground();  // already there: nothing
  lifeCycle.enterForeground();
  lifeCycle.terminate();

  EXPECT_EQ(heard, (std::vector<std::string>{
                       "didBecomeActive active",
                       "DidBecomeActiveNotification",
                       "willResignActive inactive",
                       "WillResignActiveNotification",
                       "didEnterBackground background",
                       "DidEnterBackgroundNotification",
                       "willEnterForeground inactive",
                       "WillEnterForegroundNotification",
                       "didBecomeActive active",
                       "DidBecomeActiveNotification",
                       "willResignActive inactive",
                       "WillResignActiveNotification",
                       "didEnterBackground background",
                       "DidEnterBackgroundNotification",
                       "willTerminate background",
                       "WillTerminateNotification",
                   }));
}

// Launched into the background, as for a notification's action that does
// not open it: never active until brought to the front. Ending from the
// background says only its last notice.
TEST(ApplicationLifeCycle, LaunchedIntoTheBackgroundOrEndingThereSaysOnlyWhatHappens) {
  std::vector<std::string> heard;
  RecordingDelegate delegate(heard);
  UIApplication application;
  application.setDelegate(&delegate);
  ApplicationLifeCycle lifeCycle(application);
  lifeCycle.enterBackground();
  lifeCycle.enterForeground();
  EXPECT_EQ(heard,
            (std::vector<std::string>{"didEnterBackground background",
                                      "willEnterForeground inactive", "didBecomeActive active"}));
  lifeCycle.enterBackground();
  heard.clear();
  lifeCycle.terminate();
  EXPECT_EQ(heard, std::vector<std::string>{"willTerminate background"});
}

TEST(NotificationCenter, AnObserverRemovedDuringAPostHearsNoMore) {
  NotificationCenter center;
  int first = 0, second = 0;
  std::unique_ptr<NotificationCenter::Observation> later;
  auto earlier = center.addObserver("N", [&] {
    ++first;
    later.reset();
  });
  later = center.addObserver("N", [&] { ++second; });
  auto other = center.addObserver("M", [&] { ++second; });
  center.post("N");
  center.post("N");
  EXPECT_EQ(first, 2);
  EXPECT_EQ(second, 0);
}

}  // namespace
}  // namespace brisklane
