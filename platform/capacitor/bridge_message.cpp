#include "platform/capacitor/bridge_message.h"

#include "base/json_fault.h"

namespace brisklane {
namespace {

// The string under `key` when it is a non-empty string.
std::optional<std::string> nameField(const JSObject& document, const char* key) {
  auto found = document.find(key);
  if (found == document.end() || !found->is_string()) return std::nullopt;
  const auto& text = found->get_ref<const std::string&>();
  if (text.empty()) return std::nullopt;
  return text;
}

std::string dump(const JSObject& value) {
  return value.dump(-1, ' ', false, JSObject::error_handler_t::replace);
}

// The value under `key` if it has the type `T`, else `fallback`.
template <class T>
T fieldOr(const JSObject& document, const char* key, T fallback) {
  auto found = document.find(key);
  if (found == document.end()) return fallback;
  if constexpr (std::is_same_v<T, std::string>) {
    return found->is_string() ? found->template get<std::string>() : fallback;
  } else {
    return found->is_number_integer() ? found->template get<T>() : fallback;
  }
}

JavaScriptError decodeJavaScriptError(const JSObject& document) {
  auto found = document.find("error");
  if (found == document.end() || !found->is_object()) return {};
  return JavaScriptError{.message = fieldOr<std::string>(*found, "message", ""),
                         .url = fieldOr<std::string>(*found, "url", ""),
                         .line = fieldOr<std::int64_t>(*found, "line", 0),
                         .column = fieldOr<std::int64_t>(*found, "col", 0)};
}

// Why `text` is not JSON, in the JSON reader's words.
std::string parseFault(std::string_view text) {
  const auto fault = firstJsonFault(text);
  return fault ? fault->description : std::string();
}

JSObject identityJson(const CallIdentity& call) {
  return JSObject{{"callbackId", call.callbackId},
                  {"pluginId", call.pluginId},
                  {"methodName", call.methodName}};
}

}  // namespace

BridgeMessage decodeBridgeMessage(std::string_view text) {
  if (text.size() > maximumBridgeMessageBytes) {
    return BridgeMessageError{
        "message longer than " + std::to_string(maximumBridgeMessageBytes) + " bytes",
        std::nullopt};
  }
  // The JSON reader takes a NUL byte for the end of its input and would
  // accept whatever follows it; no JSON text holds one.
  if (text.find('\0') != std::string_view::npos) {
    return BridgeMessageError{"a message must not contain NUL bytes", std::nullopt};
  }
  JSObject document = JSObject::parse(text, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    return BridgeMessageError{"not JSON: " + parseFault(text), std::nullopt};
  }
  if (!document.is_object()) {
    return BridgeMessageError{"a message must be a JSON object", std::nullopt};
  }
  if (auto type = document.find("type"); type != document.end()) {
    if (type->is_string() && type->get_ref<const std::string&>() == "js.error") {
      return decodeJavaScriptError(document);
    }
    if (!type->is_string() || type->get_ref<const std::string&>() != "message") {
      return BridgeMessageError{"unsupported message type " + dump(*type), std::nullopt};
    }
  }
  auto callbackId = nameField(document, "callbackId");
  if (!callbackId) {
    return BridgeMessageError{"\"callbackId\" must be a non-empty string", std::nullopt};
  }
  auto pluginId = nameField(document, "pluginId");
  auto methodName = nameField(document, "methodName");
  if (!pluginId || !methodName) {
    return BridgeMessageError{
        "call " + *callbackId + ": \"pluginId\" and \"methodName\" must be non-empty strings",
        std::nullopt};
  }
  CallIdentity call{.callbackId = std::move(*callbackId),
                    .pluginId = std::move(*pluginId),
                    .methodName = std::move(*methodName)};
  JSObject options = JSObject::object();
  if (auto found = document.find("options"); found != document.end() && !found->is_null()) {
    if (!found->is_object()) {
      return BridgeMessageError{"call " + call.callbackId + ": \"options\" must be an object",
                                std::move(call)};
    }
    options = std::move(*found);
  }
  return PluginCallMessage{.call = std::move(call), .options = std::move(options)};
}

std::string encodeSuccess(const CallIdentity& call, const JSObject& data, bool save) {
  JSObject message = identityJson(call);
  message["save"] = save;
  message["success"] = true;
  if (!data.is_null()) message["data"] = data;
  return dump(message);
}

std::string encodeFailure(const CallIdentity& call, const PluginCallError& error) {
  JSObject body{{"message", error.message}};
  if (error.code) body["code"] = *error.code;
  if (error.errorMessage) body["errorMessage"] = *error.errorMessage;
  if (error.data) body["data"] = *error.data;
  JSObject message = identityJson(call);
  message["save"] = false;
  message["success"] = false;
  message["error"] = std::move(body);
  return dump(message);
}

}  // namespace brisklane
