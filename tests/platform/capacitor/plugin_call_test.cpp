#include <gtest/gtest.h>

#include <thread>

#include "platform/capacitor/plugin.h"
#include "tests/platform/capacitor/recording_web_layer.h"

namespace brisklane {
namespace {

using testing::makeCall;
using testing::RecordingWebLayer;

TEST(CAPPluginCall, GetsOnlyStringArguments) {
  auto call =
      makeCall(nullptr, "P", "m",
               JSObject::parse(R"({"s":"text","e":"","n":1,"z":null,"o":{},"a":["x"],"b":false})"));
  EXPECT_EQ(call.getString("s"), "text");
  EXPECT_EQ(call.getString("e"), "");
  for (const char* key : {"n", "z", "o", "a", "b", "missing", "S"}) {
    EXPECT_EQ(call.getString(key), std::nullopt) << key;
  }
  call.resolve();
}

TEST(CAPPluginCall, SettlesExactlyOnce) {
  auto webLayer = std::make_shared<RecordingWebLayer>();
  auto call = makeCall(webLayer, "P", "m");
  call.resolve({{"ok", true}});
  EXPECT_DEBUG_DEATH(call.reject("again"), "settled twice");
  EXPECT_DEBUG_DEATH(call.resolve(), "settled twice");
  EXPECT_EQ(webLayer->messages().size(), 1u) << "a second settle sends nothing";
}

TEST(CAPPluginCall, RejectsWithTheMessageAloneUnlessGivenMore) {
  auto webLayer = std::make_shared<RecordingWebLayer>();
  makeCall(webLayer, "P", "m").reject("no");
  makeCall(webLayer, "P", "m").reject("no", "CODE", "why", JSObject{{"d", 1}});
  EXPECT_EQ(
      webLayer->messages(),
      (std::vector<std::string>{
          R"({"callbackId":"1","pluginId":"P","methodName":"m","save":false,"success":false,"error":{"message":"no"}})",
          R"({"callbackId":"1","pluginId":"P","methodName":"m","save":false,"success":false,"error":{"message":"no","code":"CODE","errorMessage":"why","data":{"d":1}}})"}));
}

TEST(CAPPluginCall, ADroppedCallIsAnsweredOnceWhenItsLastHolderLetsGoUnlessKept) {
  auto webLayer = std::make_shared<RecordingWebLayer>();
  {
    auto call = makeCall(webLayer, "SharedTodayWidget", "set");
    {
      CAPPluginCall copy = call;  // a plug-in keeping the call for later
    }
    EXPECT_TRUE(webLayer->messages().empty());
  }
  ASSERT_EQ(webLayer->messages().size(), 1u);
  EXPECT_EQ(webLayer->last()["success"], false);
  EXPECT_EQ(webLayer->last()["error"]["message"],
            "\"SharedTodayWidget.set()\" ended without settling its call");
  {
    auto call = makeCall(webLayer, "App", "addListener");
    call.setKeepAlive(true);
    call.resolve({{"n", 1}});
    std::thread([call]() mutable { call.resolve({{"n", 2}}); }).join();
  }
  auto messages = webLayer->messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(JSObject::parse(messages[1])["save"], true);
  EXPECT_EQ(JSObject::parse(messages[2])["data"]["n"], 2) << "settled from another thread";
}

}  // namespace
}  // namespace brisklane
