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

}  // namespace

std::shared_ptr<CAPBridge> CAPBridge::make(std::shared_ptr<WKWebView> webView,
                                           Diagnostics diagnostics) {
  return std::shared_ptr<CAPBridge>(new CAPBridge(std::move(webView), std::move(diagnostics)));
}

void CAPBridge::report(std::string_view text) const {
  if (diagnostics_) diagnostics_(text);
}

void CAPBridge::registerPluginType(const CAPPluginType& type) {
  std::shared_ptr<CAPPlugin> instance =
      type.construct(weak_from_this(), type.className, type.className);
  auto* description = dynamic_cast<CAPBridgedPlugin*>(instance.get());
  if (description == nullptr) return;
  auto [where, added] =
      plugins_.emplace(description->jsName(), RegisteredPlugin{instance, description});
  if (!added) {
    report("plug-in \"" + description->jsName() + "\" is registered already");
    return;
  }
  instance->load();
}

std::shared_ptr<CAPPlugin> CAPBridge::plugin(std::string_view jsName) const {
  auto found = plugins_.find(jsName);
  return found == plugins_.end() ? nullptr : found->second.instance;
}

void CAPBridge::receive(std::string_view message,
                        const std::shared_ptr<WebLayerConnection>& webLayer) {
  auto decoded = decodeBridgeMessage(message);
  if (auto* problem = std::get_if<BridgeMessageError>(&decoded)) {
    report(problem->reason);
    if (problem->call && webLayer) {
      webLayer->send(encodeFailure(*problem->call, {.message = problem->reason,
                                                    .code = std::nullopt,
                                                    .errorMessage = std::nullopt,
                                                    .data = std::nullopt}));
    }
    return;
  }
  dispatch(std::move(std::get<PluginCallMessage>(decoded)), webLayer);
}

void CAPBridge::dispatch(PluginCallMessage message,
                         const std::shared_ptr<WebLayerConnection>& webLayer) {
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
  if (methodName == "addListener") {
    selector = [](CAPPlugin& target, CAPPluginCall call) { target.addListener(std::move(call)); };
  } else if (methodName == "removeListener") {
    selector = [](CAPPlugin& target, CAPPluginCall call) {
      target.removeListener(std::move(call));
    };
  } else if (methodName == "removeAllListeners") {
    selector = [](CAPPlugin& target, CAPPluginCall call) {
      target.removeAllListeners(std::move(call));
    };
  } else {
    for (const CAPPluginMethod& method : found->second.description->pluginMethods()) {
      if (method.name == methodName) selector = method.selector;
    }
  }
  if (selector == nullptr) {
    answerUnimplemented(
        identity, "\"" + identity.pluginId + "." + methodName + "()\" is not implemented on ios",
        webLayer);
    return;
  }
  CAPPluginCall call(std::move(message.call), std::move(message.options), webLayer);
  try {
    selector(*plugin, std::move(call));
  } catch (const std::exception& error) {
    // The call, if still unsettled, is answered as it is dropped.
    report(std::string("a plug-in method failed: ") + error.what());
  }
}

}  // namespace brisklane
