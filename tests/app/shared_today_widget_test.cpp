#include "app/shared_today_widget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "platform/dispatch/dispatch_queue.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"
#include "tests/platform/capacitor/recording_web_layer.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using testing::RecordingWebLayer;
using testing::StoreFault;

// The moment the test clock reads, in seconds since 1970.
std::atomic<double> testSeconds{0};
Date testClock() {
  return Date::fromTimeIntervalSince1970(testSeconds.load());
}

std::optional<std::string> stored(std::string_view key) {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  if (!defaults) return std::nullopt;
  return defaults->string(key);
}

void store(std::string_view value, std::string_view key) {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(defaults);
  defaults->set(value, key);
}

class SharedTodayWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override { DispatchQueue::main().drain(); }
  void TearDown() override {
    DispatchQueue::main().drain();
    setOperatingSystemVersion(defaultOperatingSystemVersion);
    setClock(nullptr);
  }

  // Runs `method` of `plugin` on a call with `options` and answers the
  // settlement the web layer received.
  JSObject settle(void (SharedTodayWidget::*method)(CAPPluginCall), const JSObject& options) {
    auto webLayer = std::make_shared<RecordingWebLayer>();
    (plugin.*method)(testing::makeCall(webLayer, "SharedTodayWidget", "m", options));
    EXPECT_EQ(webLayer->messages().size(), 1u);
    return webLayer->last();
  }
  JSObject set(const JSObject& options) { return settle(&SharedTodayWidget::set, options); }
  JSObject status() { return settle(&SharedTodayWidget::status, JSObject::object()); }

  testing::TemporaryDevice device;
  SharedTodayWidget plugin;
};

TEST_F(SharedTodayWidgetTest, RejectsACallWithoutAPayloadStringAndTouchesNothing) {
  store("earlier", todayKey);
  auto reloads = testing::reloadRequestCount();
  // Which values are no string is the plug-in call's own test (getString).
  for (const char* options : {R"({})", R"({"payload":{"count":1}})"}) {
    SCOPED_TRACE(options);
    JSObject answer = set(JSObject::parse(options));
    // The message alone: no code, no error, no data.
    EXPECT_EQ(answer["error"], JSObject({{"message", "payload (JSON string) is required"}}));
    EXPECT_EQ(stored(todayKey), "earlier");
    EXPECT_EQ(testing::reloadRequestCount(), reloads);
  }
}

// `status` (whose every field App's process test checks) requests no reload.
TEST_F(SharedTodayWidgetTest, StoresAnyTextExactlyAsGivenAndRequestsAReload) {
  auto before = testing::reloadRequestCount();
  EXPECT_EQ(status()["data"]["hasPayload"], false);
  EXPECT_EQ(testing::reloadRequestCount(), before);
  std::string nul("a\0b", 3);
  for (const std::string& text :
       {std::string(""), std::string("not JSON {"), nul,
        std::string("{\"count\":1,\"items\":[],\"x\":\"\u00e9\u2713\"}")}) {
    SCOPED_TRACE(text);
    auto reloads = testing::reloadRequestCount();
    EXPECT_EQ(set({{"payload", text}})["data"], JSObject({{"appGroupOk", true}}));
    EXPECT_EQ(stored(todayKey), text);
    EXPECT_EQ(testing::reloadRequestCount(), reloads + 1);
    EXPECT_EQ(status()["data"]["hasPayload"], true);
  }
}

// A store that cannot be opened (the device root is a file, an injected
// failure) or written: `set` resolves false yet still requests the reload,
// the summary and the stamp before stay, and `status` still names the group.
TEST_F(SharedTodayWidgetTest, AStoreOutOfReachResolvesFalseAndKeepsWhatWasStored) {
  store("earlier", todayKey);
  store("loaded @1", diagKey);
  const JSObject unreachable = {{"appGroupOk", false},
                                {"hasPayload", false},
                                {"diag", ""},
                                {"group", "group.app.brisklane.shared"}};
  for (StoreFault fault : {StoreFault::none, StoreFault::open, StoreFault::write}) {
    SCOPED_TRACE(static_cast<int>(fault));
    if (fault == StoreFault::none) {
      std::ofstream(device.root() / "not-a-folder") << "x";
      ::setenv("BRISKLANE_HOME", (device.root() / "not-a-folder").c_str(), 1);
    }
    {
      testing::StoreFaultInjection injected(fault);
      auto reloads = testing::reloadRequestCount();
      EXPECT_EQ(set({{"payload", "new"}})["data"], JSObject({{"appGroupOk", false}}));
      EXPECT_EQ(testing::reloadRequestCount(), reloads + 1);
      std::make_shared<SharedTodayWidget>()->load();
      if (fault != StoreFault::write) {
        EXPECT_EQ(status()["data"], unreachable);
      }
    }
    ::setenv("BRISKLANE_HOME", device.root().c_str(), 1);
    EXPECT_EQ(stored(todayKey), "earlier");
    EXPECT_EQ(stored(diagKey), "loaded @1");
  }
}

TEST(DiagnosticTimeStamp, CutsTheFractionOffTowardZero) {
  EXPECT_EQ(diagnosticTimeStamp(Date::fromTimeIntervalSince1970(1765100000.999)),
            "loaded @1765100000");
  EXPECT_EQ(diagnosticTimeStamp(Date::fromTimeIntervalSince1970(0.9)), "loaded @0");
  EXPECT_EQ(diagnosticTimeStamp(Date::fromTimeIntervalSince1970(-1.5)), "loaded @-1");
}

class SharedTodayWidgetLoadTest : public SharedTodayWidgetTest {
 protected:
  void SetUp() override {
    SharedTodayWidgetTest::SetUp();
    webView = std::make_shared<WKWebView>();
    bridge = CAPBridge::make(webView, nullptr);
  }

  std::shared_ptr<SharedTodayWidget> loaded() {
    auto instance =
        std::make_shared<SharedTodayWidget>(bridge, "SharedTodayWidget", "SharedTodayWidget");
    instance->load();
    return instance;
  }

  std::shared_ptr<WKWebView> webView;
  std::shared_ptr<CAPBridge> bridge;
};

// The stamp is written on every load; the web view is made inspectable later,
// on the main queue, and only from 16.4.
TEST_F(SharedTodayWidgetLoadTest,
       WritesTheStampEachRunAndMakesTheWebViewInspectableFromSixteenFour) {
  setClock(testClock);
  setOperatingSystemVersion({16, 3, 9});
  testSeconds = 1000.5;
  auto instance = loaded();
  EXPECT_EQ(stored(diagKey), "loaded @1000");
  EXPECT_EQ(DispatchQueue::main().drain(), 0u);

  setOperatingSystemVersion({16, 4, 0});
  testSeconds = 2000.25;
  instance->load();
  EXPECT_EQ(stored(diagKey), "loaded @2000");
  EXPECT_FALSE(webView->isInspectable) << "the web view changes on the main queue only";
  EXPECT_EQ(DispatchQueue::main().drain(), 1u);
  EXPECT_TRUE(webView->isInspectable);
}

TEST_F(SharedTodayWidgetLoadTest, TheTaskKeepsThePluginAndDoesNothingWithoutABridgeOrWebView) {
  std::weak_ptr<SharedTodayWidget> watched = loaded();
  EXPECT_FALSE(watched.expired()) << "the queued task holds the plug-in";
  bridge.reset();
  EXPECT_EQ(DispatchQueue::main().drain(), 1u);
  EXPECT_FALSE(webView->isInspectable);
  EXPECT_TRUE(watched.expired());

  bridge = CAPBridge::make(nullptr, nullptr);
  loaded();
  EXPECT_EQ(DispatchQueue::main().drain(), 1u);
  EXPECT_EQ(bridge->webView(), nullptr);
}

}  // namespace
}  // namespace brisklane
