#include "platform/capacitor/bridge.h"

#include <gtest/gtest.h>

#include "platform/capacitor/app_plugin.h"
#include "platform/capacitor/application_delegate_proxy.h"
#include "tests/platform/capacitor/recording_web_layer.h"

namespace brisklane {
namespace {

using testing::EchoPlugin;
using testing::RecordingWebLayer;

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

TEST_F(BridgeTest, LoadsAPluginOnceForItsBridgeAndReportsASecondRegistration) {
  auto plugin = bridge->plugin("Echo");
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->bridge(), bridge);
  EXPECT_EQ(EchoPlugin::loads, 1);

  bridge->registerPluginType(pluginType<EchoPlugin>());
  EXPECT_EQ(bridge->plugin("Echo"), plugin);
  EXPECT_EQ(EchoPlugin::loads, 1);
  EXPECT_EQ(reports, std::vector<std::string>{"plug-in \"Echo\" is registered already"});
}

// Every call is answered: one the bridge cannot dispatch, one with bad
// options, one a plug-in refuses or throws on. Only what cannot be answered
// (no call to answer) is reported without an answer.
TEST_F(BridgeTest, AnswersEveryCallItCannotCompleteAndReportsWhatItCannotAnswer) {
  const std::pair<std::string_view, JSObject> cases[] = {
      {R"({"callbackId":"2","pluginId":"Echo","methodName":"load"})",
       {{"message", "\"Echo.load()\" is not implemented on ios"}, {"code", "UNIMPLEMENTED"}}},
      // Plug-ins are reached by their JavaScript name.
      {R"({"callbackId":"3","pluginId":"EchoPlugin","methodName":"echo"})",
       {{"message", "\"EchoPlugin\" plugin is not implemented on ios"}, {"code", "UNIMPLEMENTED"}}},
      {R"({"callbackId":"4","pluginId":"Echo","methodName":"echo","options":7})",
       {{"message", "call 4: \"options\" must be an object"}}},
      {R"({"callbackId":"5","pluginId":"App","methodName":"addListener"})",
       {{"message", "eventName (string) is required"}}},
      {R"({"callbackId":"6","pluginId":"Echo","methodName":"fail"})",
       {{"message", "\"Echo.fail()\" ended without settling its call"}}},
  };
  for (const auto& [message, error] : cases) {
    JSObject answer = call(message);
    EXPECT_EQ(answer["success"], false) << message;
    EXPECT_EQ(answer["error"], error) << message;
  }
  EXPECT_EQ(reports, (std::vector<std::string>{"call 4: \"options\" must be an object",
                                               "a plug-in method failed: broken"}));
  auto answered = page->messages().size();
  bridge->receive("not json", page);
  bridge->receive(R"({"pluginId":"Echo","methodName":"echo"})", page);
  EXPECT_EQ(page->messages().size(), answered);
  EXPECT_EQ(reports.size(), 4u);
}

class AppPluginTest : public BridgeTest {
 protected:
  void open(const std::string& url, const UIApplication::OpenURLOptions& options = {}) {
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

TEST_F(AppPluginTest, RemovingTheListenerOrClosingThePageHoldsEventsForTheNextListener) {
  listen("9", page);
  bridge->receive(
      R"({"callbackId":"10","pluginId":"App","methodName":"removeListener","options":{"eventName":"appUrlOpen","callbackId":"9"}})",
      page);
  // The runtime would hand any answer to listener 9's callback.
  EXPECT_TRUE(page->messages().empty());
  open("brisklane://today");
  EXPECT_TRUE(page->messages().empty());
  listen("11", page);
  EXPECT_EQ(page->last()["callbackId"], "11");
  EXPECT_EQ(page->last()["data"]["url"], "brisklane://today");

  page->close();
  open("brisklane://voice");
  auto next = std::make_shared<RecordingWebLayer>();
  listen("1", next);
  ASSERT_EQ(next->messages().size(), 1u);
  EXPECT_EQ(next->last()["data"]["url"], "brisklane://voice");
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

TEST_F(AppPluginTest, HoldsOnlyTheNewestEventsWhileNobodyListensAndStopsWithItsBridge) {
  for (std::size_t i = 0; i < CAPPlugin::maximumRetainedEvents + 5; ++i) {
    open("brisklane://n/" + std::to_string(i));
  }
  listen("9", page);
  auto messages = page->messages();
  ASSERT_EQ(messages.size(), CAPPlugin::maximumRetainedEvents);
  EXPECT_EQ(JSObject::parse(messages.front())["data"]["url"], "brisklane://n/5");

  std::weak_ptr<CAPPlugin> plugin = bridge->plugin("App");
  bridge.reset();
  EXPECT_TRUE(plugin.expired());
  open("brisklane://today");  // reaches no plug-in, and nothing breaks
}

}  // namespace
}  // namespace brisklane
