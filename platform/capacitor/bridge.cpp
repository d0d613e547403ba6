#include "platform/capacitor/bridge.h"

#include <exception>

namespace brisklane {
namespace {

constexpr std::string_view unimplementedCode = "UNIMPLEMENTED";

void answerUnimplemented(const CallIdentity& call, std::string message,
                         const std::shared_ptr<WebLayerConnection>& webLayer) {
  if (!webLayer) return;
  webLayer->send(encodeFailure(call, {.message = std::move(message),
                                      .code = std::string(unimplementedCode),
                                      .errorMessage = std::nullopt,
                                      .data = std::nullopt}));
}

// The methods every plug-in has, whatever its own table says.
const std::vector<CAPPluginMethod>& commonPluginMethods() {
  static const std::vector<CAPPluginMethod> methods = {
      {"addListener", std::string(CAPPluginReturnNone),
       [](CAPPlugin& plugin, CAPPluginCall call) { plugin.addListener(std::move(call)); }},
      {"removeListener", std::string(CAPPluginReturnNone),
       [](CAPPlugin& plugin, CAPPluginCall call) { plugin.removeListener(std::move(call)); }},
      {"removeAllListeners", std::string(CAPPluginReturnPromise),
       [](CAPPlugin& plugin, CAPPluginCall call) { plugin.removeAllListeners(std::move(call)); }},
      {"checkPermissions", std::string(CAPPluginReturnPromise),
       [](CAPPlugin& plugin, CAPPluginCall call) { plugin.checkPermissions(std::move(call)); }},
      {"requestPermissions", std::string(CAPPluginReturnPromise),
       [](CAPPlugin& plugin, CAPPluginCall call) { plugin.requestPermissions(std::move(call)); }},
  };
  return methods;
}

JSObject methodHeader(const CAPPluginMethod& method) {
  JSObject header{{"name", method.name}};
  if (method.returnType != CAPPluginReturnNone) header["rtype"] = method.returnType;
  return header;
}

}  // namespace

std::shared_ptr<CAPBridge> CAPBridge::make(std::shared_ptr<WKWebView> webView,
                                           Diagnostics diagnostics) {
  return std::shared_ptr<CAPBridge>(new CAPBridge(std::move(webView), std::move(diagnostics)));
}

void CAPBridge::log(std::string_view text) const {
  if (!diagnostics_) return;
  // One line each, whatever the page wrote.
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line += c;
    }
  }
  diagnostics_(line);
}

void CAPBridge::registerPluginType(const CAPPluginType& type) {
  std::shared_ptr<CAPPlugin> instance =
      type.construct(weak_from_this(), type.className, type.className);
  auto* description = dynamic_cast<CAPBridgedPlugin*>(instance.get());
  if (description == nullptr) return;
  auto [where, added] =
      plugins_.emplace(description->jsName(), RegisteredPlugin{instance, description});
  if (!added) {
    log("plug-in \"" + description->jsName() + "\" is registered already");
    return;
  }
  instance->load();
}

JSObject CAPBridge::pluginHeaders() const {
  JSObject headers = JSObject::array();
  for (const auto& [jsName, registered] : plugins_) {
    JSObject methods = JSObject::array();
    for (const auto* table : {&commonPluginMethods(), &registered.description->pluginMethods()}) {
      for (const CAPPluginMethod& method : *table) methods.push_back(methodHeader(method));
    }
    headers.push_back({{"name", jsName}, {"methods", std::move(methods)}});
  }
  return headers;
}

std::shared_ptr<CAPPlugin> CAPBridge::plugin(std::string_view jsName) const {
  auto found = plugins_.find(jsName);
  return found == plugins_.end() ? nullptr : found->second.instance;
}

void CAPBridge::receive(std::string_view message,
                        const std::shared_ptr<WebLayerConnection>& webLayer) {
  auto decoded = decodeBridgeMessage(message);
  if (auto* error = std::get_if<JavaScriptError>(&decoded)) {
    log("js.error: " + error->message + " (" + error->url + ":" + std::to_string(error->line) +
        ":" + std::to_string(error->column) + ")");
    return;
  }
  if (auto* problem = std::get_if<BridgeMessageError>(&decoded)) {
    log(problem->reason);
    if (problem->call && problem->call->callbackId != danglingCallbackId && webLayer) {
      webLayer->send(encodeFailure(*problem->call, {.message = problem->reason,
                                                    .code = std::nullopt,
                                                    .errorMessage = std::nullopt,
                                                    .data = std::nullopt}));
    }
    return;
  }
  dispatch(std::move(std::get<PluginCallMessage>(decoded)), webLayer);
}

void CAPBridge::dispatch(PluginCallMessage message, std::shared_ptr<WebLayerConnection> webLayer) {
  // A caller that keeps no callback gets no answer, whatever happens.
  if (message.call.callbackId == danglingCallbackId) webLayer = nullptr;
  const CallIdentity& identity = message.call;
  auto found = plugins_.find(identity.pluginId);
  if (found == plugins_.end()) {
    answerUnimplemented(identity, "\"" + identity.pluginId + "\" plugin is not implemented on ios",
                        webLayer);
    return;
  }
  // Keeps the plug-in alive while its method runs, whatever the method does.
  std::shared_ptr<CAPPlugin> plugin = found->second.instance;
  const std::string& methodName = identity.methodName;

  CAPPluginMethodSelector selector = nullptr;
  for (const auto* methods :
       {&commonPluginMethods(), &found->second.description->pluginMethods()}) {
    for (const CAPPluginMethod& method : *methods) {
      if (method.name == methodName) selector = method.selector;
    }
  }
  if (selector == nullptr) {
    answerUnimplemented(
        identity, "\"" + identity.pluginId + "." + methodName + "()\" is not implemented on ios",
        webLayer);
    return;
  }
  CAPPluginCall call(std::move(message.call), std::move(message.options), std::move(webLayer));
  try {
    selector(*plugin, std::move(call));
  } catch (const std::exception& error) {
    // The call, if still unsettled, is answered as it is dropped.
    log(std::string("a plug-in method failed: ") + error.what());
  }
}

}  // namespace brisklane
