#include "platform/capacitor/bridge_message.h"

#include <gtest/gtest.h>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

TEST(BridgeMessageCorpus, EveryFileDecodesAsItsNameSays) {
  const auto files = testing::corpusFiles("bridge_message");
  for (const auto& [name, text] : files) {
    SCOPED_TRACE(name);
    auto decoded = decodeBridgeMessage(text);
    if (name.starts_with("valid-")) {
      ASSERT_TRUE(std::holds_alternative<PluginCallMessage>(decoded));
      EXPECT_TRUE(std::get<PluginCallMessage>(decoded).options.is_object());
    } else {
      ASSERT_TRUE(name.starts_with("invalid-")) << "corpus files are valid-* or invalid-*";
      const auto* error = std::get_if<BridgeMessageError>(&decoded);
      ASSERT_TRUE(error);
      EXPECT_FALSE(error->reason.empty());
      EXPECT_EQ(error->call.has_value(), name.starts_with("invalid-answerable-"));
    }
  }
  EXPECT_GE(files.size(), 20u);
}

std::string reasonOf(std::string_view text) {
  auto decoded = decodeBridgeMessage(text);
  if (auto* error = std::get_if<BridgeMessageError>(&decoded)) return error->reason;
  return "(decoded)";
}

TEST(BridgeMessage, DecodesThePagesUncaughtErrorsLeniently) {
  auto decoded = decodeBridgeMessage(
      R"({"type":"js.error","error":{"message":"ReferenceError: x is not defined","url":"http://127.0.0.1:1/a.js","line":3,"col":7,"errorObject":"{}"}})");
  ASSERT_TRUE(std::holds_alternative<JavaScriptError>(decoded));
  const auto& error = std::get<JavaScriptError>(decoded);
  EXPECT_EQ(error.message, "ReferenceError: x is not defined");
  EXPECT_EQ(error.url, "http://127.0.0.1:1/a.js");
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.column, 7);
  // Whatever the page put there, the report is logged rather than refused.
  EXPECT_TRUE(std::holds_alternative<JavaScriptError>(
      decodeBridgeMessage(R"({"type":"js.error","error":{"message":5,"line":"3"}})")));
}

TEST(BridgeMessage, NamesWhatIsWrong) {
  EXPECT_EQ(reasonOf("[1]"), "a message must be a JSON object");
  EXPECT_EQ(reasonOf(R"({"pluginId":"P"})"), "\"callbackId\" must be a non-empty string");
  EXPECT_EQ(reasonOf(R"({"callbackId":"3","pluginId":"P"})"),
            "call 3: \"pluginId\" and \"methodName\" must be non-empty strings");
  EXPECT_EQ(reasonOf(R"({"type":"cordova","callbackId":"3"})"),
            "unsupported message type \"cordova\"");
  EXPECT_TRUE(
      reasonOf(std::string(maximumBridgeMessageBytes + 1, ' ')).starts_with("message longer"));
}

TEST(BridgeMessage, KeepsTextExactThroughARoundTrip) {
  std::string text = "\u00e9\u2713 \U0001F600 line\nbreak \"quoted\" \\ and a NUL: ";
  text.push_back('\0');
  auto encoded = encodeSuccess({"1", "P", "m"}, {{"payload", text}}, false);
  EXPECT_EQ(encoded.find('\n'), std::string::npos) << "one message, one line";
  EXPECT_EQ(JSObject::parse(encoded)["data"]["payload"].get<std::string>(), text);
}

}  // namespace
}  // namespace brisklane
