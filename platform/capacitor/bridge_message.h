// Capacitor's native-bridge messages, the one protocol between the web layer
// and the bridge whatever carries it. The web layer sends calls:
//   {"type":"message","callbackId":"7","pluginId":"SharedTodayWidget","methodName":"set","options":{...}}
// ("type" may be left out; "options" may be left out or null). The bridge
// answers each call with its settlement, echoing the three names:
//   {"callbackId":"7","pluginId":"SharedTodayWidget","methodName":"set","save":false,"success":true,"data":{...}}
//   {"callbackId":"7","pluginId":"SharedTodayWidget","methodName":"set","save":false,"success":false,"error":{"message":"..."}}
// and sends events to a listener as further successes of the listener's call
// with "save":true. A call resolved without data has no "data" (the page sees
// `undefined`). The runtime also reports the page's uncaught errors:
//   {"type":"js.error","error":{"message":"...","url":"...","line":3,"col":7,"errorObject":"..."}}
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace brisklane {

// A JavaScript object as the bridge carries it: string keys, JSON values.
using JSObject = nlohmann::ordered_json;

// The three names that tie a settlement to the call it answers.
struct CallIdentity {
  std::string callbackId;
  std::string pluginId;
  std::string methodName;

  friend bool operator==(const CallIdentity&, const CallIdentity&) = default;
};

struct PluginCallMessage {
  CallIdentity call;
  JSObject options;  // always an object
};

// The callback id of a call whose caller keeps no callback (the runtime's
// forwarded console output): nothing answers it.
inline constexpr std::string_view danglingCallbackId = "-1";

// An uncaught error of the page, as its runtime reported it.
struct JavaScriptError {
  std::string message;
  std::string url;
  std::int64_t line = 0;
  std::int64_t column = 0;
};

// Why a message is not a call. `call` is set when the message names a call
// well enough to be answered with the failure.
struct BridgeMessageError {
  std::string reason;
  std::optional<CallIdentity> call;
};

// Longer messages are refused unread.
inline constexpr std::size_t maximumBridgeMessageBytes = std::size_t{32} * 1024 * 1024;

using BridgeMessage = std::variant<PluginCallMessage, JavaScriptError, BridgeMessageError>;
[[nodiscard]] BridgeMessage decodeBridgeMessage(std::string_view text);

// A failed settlement: the message, and the optional code, error description
// and data of `CAPPluginCall::reject`.
struct PluginCallError {
  std::string message;
  std::optional<std::string> code;
  std::optional<std::string> errorMessage;
  std::optional<JSObject> data;
};

// One line of JSON each, without the newline. `save` marks a call the plug-in
// keeps for further settlements (a listener); null `data` is left out.
[[nodiscard]] std::string encodeSuccess(const CallIdentity& call, const JSObject& data, bool save);
[[nodiscard]] std::string encodeFailure(const CallIdentity& call, const PluginCallError& error);

}  // namespace brisklane
