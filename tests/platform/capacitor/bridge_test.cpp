#include "platform/capacitor/bridge.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/capacitor/app_plugin.h"
#include "platform/capacitor/application_delegate_proxy.h"
#include "tests/platform/capacitor/recording_web_layer.h"

namespace brisklane {
namespace {

using testing::RecordingWebLayer;

class EchoPlugin : public CAPPlugin, public CAPBridgedPlugin {
 public:
  static constexpr std::string_view className = "EchoPlugin";
  static inline int loads = 0;

  EchoPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName)
      : CAPPlugin(std::move(bridge), std::move(pluginId), std::move(pluginName)) {}

  const std::string& identifier() const override { return identifier_; }
  const std::string& jsName() const override { return jsName_; }
  const std::vector<CAPPluginMethod>& pluginMethods() const override { return methods_; }
  void load() override { ++loads; }

  void echo(CAPPluginCall call) { call.resolve(call.options()); }
  void forget(CAPPluginCall) {}
  void fail(CAPPluginCall) { throw std::runtime_error("broken"); }

 private:
  const std::string identifier_ = "EchoPlugin";
  const std::string jsName_ = "Echo";
  const std::vector<CAPPluginMethod> methods_ = {
      makePluginMethod<&EchoPlugin::echo>("echo", CAPPluginReturnPromise),
      makePluginMethod<&EchoPlugin::forget>("forget", CAPPluginReturnPromise),
      makePluginMethod<&EchoPlugin::fail>("fail", CAPPluginReturnPromise),
  };
};

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EchoPlugin::loads = 0;
    bridge = CAPBridge::make(std::make_shared<WKWebView>(),
                             [this](std::string_view text) { reports.emplace_back(text); });
    bridge->registerPluginType(pluginType<EchoPlugin>());
    bridge->registerPluginType(pluginType<AppPlugin>());
  }

  JSObject call(std::string_view message) {
    bridge->receive(message, page);
    return page->last();
  }

  std::shared_ptr<CAPBridge> bridge;
  std::shared_ptr<RecordingWebLayer> page = std::make_shared<RecordingWebLayer>();
  std::vector<std::string> reports;
};

TEST_F(BridgeTest, ConstructsAPluginWithItsClassNameAndLoadsItOnce) {
  auto plugin = bridge->plugin("Echo");
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->pluginId(), "EchoPlugin");
  EXPECT_EQ(plugin->pluginName(), "EchoPlugin");
  EXPECT_EQ(plugin->bridge(), bridge);
  EXPECT_EQ(EchoPlugin::loads, 1);

  bridge->registerPluginType(pluginType<EchoPlugin>());
  EXPECT_EQ(bridge->plugin("Echo"), plugin);
  EXPECT_EQ(EchoPlugin::loads, 1);
  EXPECT_EQ(reports, std::vector<std::string>{"plug-in \"Echo\" is registered already"});
}

TEST_F(BridgeTest, DispatchesByJavaScriptNameAndEchoesTheCallIdentity) {
  EXPECT_EQ(page->messages().size(), 0u);
  bridge->receive(
      R"({"callbackId":"c-1","pluginId":"Echo","methodName":"echo","options":{"a":[1]}})", page);
  EXPECT_EQ(
      page->messages(),
      std::vector<std::string>{
          R"({"callbackId":"c-1","pluginId":"Echo","methodName":"echo","save":false,"success":true,"data":{"a":[1]}})"});
}

TEST_F(BridgeTest, AnswersUnknownPluginsAndMethodsAsUnimplemented) {
  EXPECT_EQ(call(R"({"callbackId":"1","pluginId":"Nope","methodName":"echo"})")["error"],
            JSObject({{"message", "\"Nope\" plugin is not implemented on ios"},
                      {"code", "UNIMPLEMENTED"}}));
  EXPECT_EQ(call(R"({"callbackId":"2","pluginId":"Echo","methodName":"load"})")["error"],
            JSObject({{"message", "\"Echo.load()\" is not implemented on ios"},
                      {"code", "UNIMPLEMENTED"}}));
  EXPECT_EQ(
      call(R"({"callbackId":"3","pluginId":"EchoPlugin","methodName":"echo"})")["error"]["code"],
      "UNIMPLEMENTED")
      << "plug-ins are reached by their JavaScript name";
  EXPECT_TRUE(reports.empty());
}

TEST_F(BridgeTest, ReportsMalformedMessagesAndAnswersOnlyThoseItCan) {
  bridge->receive("not json", page);
  bridge->receive(R"({"pluginId":"Echo","methodName":"echo"})", page);
  EXPECT_TRUE(page->messages().empty());
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_EQ(
      call(R"({"callbackId":"4","pluginId":"Echo","methodName":"echo","options":7})")["error"],
      JSObject({{"message", "call 4: \"options\" must be an object"}}));
  EXPECT_EQ(reports.size(), 3u);
}

TEST_F(BridgeTest, ACallAPluginDropsOrThrowsOnIsStillAnswered) {
  EXPECT_EQ(call(R"({"callbackId":"5","pluginId":"Echo","methodName":"forget"})")["success"],
            false);
  EXPECT_EQ(call(R"({"callbackId":"6","pluginId":"Echo","methodName":"fail"})")["error"]["message"],
            "\"Echo.fail()\" ended without settling its call");
  EXPECT_EQ(reports, std::vector<std::string>{"a plug-in method failed: broken"});
}

class AppPluginTest : public BridgeTest {
 protected:
  void open(const std::string& url, UIApplication::OpenURLOptions options = {}) {
    ApplicationDelegateProxy::shared().application(application, url, options);
  }
  void listen(std::string_view callbackId, const std::shared_ptr<RecordingWebLayer>& webLayer) {
    bridge->receive(
        R"({"callbackId":")" + std::string(callbackId) +
            R"(","pluginId":"App","methodName":"addListener","options":{"eventName":"appUrlOpen"}})",
        webLayer);
  }

  UIApplication application;
};

TEST_F(AppPluginTest, HoldsEventsUntilTheFirstListenerThenSendsThemLive) {
  open("brisklane://today",
       {{UIApplication::OpenURLOptionsKey::sourceApplication, std::string("com.example.Mail")}});
  open("brisklane://voice");
  listen("9", page);
  open("x-any:thing", {{UIApplication::OpenURLOptionsKey::openInPlace, true}});
  EXPECT_EQ(
      page->messages(),
      (std::vector<std::string>{
          R"({"callbackId":"9","pluginId":"App","methodName":"addListener","save":true,"success":true,"data":{"url":"brisklane://today","iosSourceApplication":"com.example.Mail"}})",
          R"({"callbackId":"9","pluginId":"App","methodName":"addListener","save":true,"success":true,"data":{"url":"brisklane://voice"}})",
          R"({"callbackId":"9","pluginId":"App","methodName":"addListener","save":true,"success":true,"data":{"url":"x-any:thing","iosOpenInPlace":true}})"}));
}

TEST_F(AppPluginTest, UniversalLinksArriveAsTheirPagesURL) {
  listen("9", page);
  ApplicationDelegateProxy::shared().application(
      application, NSUserActivity{std::string(NSUserActivityTypeBrowsingWeb), "https://e.com/t"},
      nullptr);
  EXPECT_EQ(page->last()["data"], JSObject({{"url", "https://e.com/t"}}));
}

TEST_F(AppPluginTest, RemovingTheListenerStopsDeliveryAndIsNotAnswered) {
  listen("9", page);
  bridge->receive(
      R"({"callbackId":"10","pluginId":"App","methodName":"removeListener","options":{"eventName":"appUrlOpen","callbackId":"9"}})",
      page);
  // The runtime would hand any answer to listener 9's callback.
  EXPECT_TRUE(page->messages().empty());
  open("brisklane://today");
  EXPECT_TRUE(page->messages().empty());
  listen("11", page);  // the event was held for the next listener
  EXPECT_EQ(page->last()["callbackId"], "11");
  EXPECT_EQ(page->last()["data"]["url"], "brisklane://today");
}

TEST_F(AppPluginTest, RemovingAllListenersLeavesOtherPagesListening) {
  auto other = std::make_shared<RecordingWebLayer>();
  listen("9", page);
  listen("3", other);
  EXPECT_EQ(
      call(R"({"callbackId":"12","pluginId":"App","methodName":"removeAllListeners"})"),
      JSObject::parse(
          R"({"callbackId":"12","pluginId":"App","methodName":"removeAllListeners","save":false,"success":true})"));
  open("brisklane://voice");
  EXPECT_EQ(page->messages().size(), 1u);  // only the answer above
  ASSERT_EQ(other->messages().size(), 1u);
  EXPECT_EQ(other->last()["data"]["url"], "brisklane://voice");
}

TEST_F(AppPluginTest, TheLaunchURLIsTheLastURLOpened) {
  open("brisklane://voice");
  EXPECT_EQ(call(R"({"callbackId":"4","pluginId":"App","methodName":"getLaunchUrl"})")["data"],
            JSObject({{"url", "brisklane://voice"}}));
}

TEST_F(AppPluginTest, AListenerWithoutAnEventNameIsRejected) {
  EXPECT_EQ(
      call(R"({"callbackId":"9","pluginId":"App","methodName":"addListener"})")["error"]["message"],
      "eventName (string) is required");
}

TEST_F(AppPluginTest, AnEventWhosePageHasGoneWaitsForTheNextPage) {
  listen("9", page);
  page->close();
  open("brisklane://today");
  auto next = std::make_shared<RecordingWebLayer>();
  listen("1", next);
  ASSERT_EQ(next->messages().size(), 1u);
  EXPECT_EQ(next->last()["data"]["url"], "brisklane://today");
}

TEST_F(AppPluginTest, HoldsOnlyTheNewestEventsWhileNobodyListens) {
  for (std::size_t i = 0; i < CAPPlugin::maximumRetainedEvents + 5; ++i) {
    open("brisklane://n/" + std::to_string(i));
  }
  listen("9", page);
  auto messages = page->messages();
  ASSERT_EQ(messages.size(), CAPPlugin::maximumRetainedEvents);
  EXPECT_EQ(JSObject::parse(messages.front())["data"]["url"], "brisklane://n/5");
}

TEST_F(AppPluginTest, StopsObservingWithItsBridge) {
  std::weak_ptr<CAPPlugin> plugin = bridge->plugin("App");
  bridge.reset();
  EXPECT_TRUE(plugin.expired());
  open("brisklane://today");  // reaches no plug-in, and nothing breaks
}

}  // namespace
}  // namespace brisklane
