#include "platform/capacitor/plugin.h"

#include <algorithm>
#include <cassert>

namespace brisklane {

struct CAPPluginCall::State {
  CallIdentity identity;
  JSObject options;
  std::shared_ptr<WebLayerConnection> webLayer;
  std::atomic<bool> settled{false};
  std::atomic<bool> keepAlive{false};

  // Whether this settlement may go out. Only a kept call settles again.
  bool claim() {
    if (keepAlive.load(std::memory_order_acquire)) {
      settled.store(true, std::memory_order_release);
      return true;
    }
    bool already = settled.exchange(true, std::memory_order_acq_rel);
    assert(!already && "plugin call settled twice");
    return !already;
  }

  void send(std::string message) {
    if (webLayer) webLayer->send(std::move(message));
  }

  ~State() {
    if (settled.load() || keepAlive.load()) return;
    try {
      send(
          encodeFailure(identity, {.message = "\"" + identity.pluginId + "." + identity.methodName +
                                              "()\" ended without settling its call",
                                   .code = std::nullopt,
                                   .errorMessage = std::nullopt,
                                   .data = std::nullopt}));
    } catch (...) {
      // Nothing may leave a destructor; the web layer then waits in vain.
    }
  }
};

CAPPluginCall::CAPPluginCall(CallIdentity identity, JSObject options,
                             std::shared_ptr<WebLayerConnection> webLayer)
    : state_(std::make_shared<State>()) {
  state_->identity = std::move(identity);
  state_->options = std::move(options);
  state_->webLayer = std::move(webLayer);
}

const std::string& CAPPluginCall::callbackId() const {
  return state_->identity.callbackId;
}
const std::string& CAPPluginCall::pluginId() const {
  return state_->identity.pluginId;
}
const std::string& CAPPluginCall::methodName() const {
  return state_->identity.methodName;
}
const JSObject& CAPPluginCall::options() const {
  return state_->options;
}

std::optional<std::string> CAPPluginCall::getString(std::string_view key) const {
  const JSObject& options = state_->options;
  if (!options.is_object()) return std::nullopt;
  auto found = options.find(std::string(key));
  if (found == options.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

void CAPPluginCall::resolve(const JSObject& data) {
  if (!state_->claim()) return;
  state_->send(encodeSuccess(state_->identity, data, state_->keepAlive.load()));
}

void CAPPluginCall::reject(std::string message, std::optional<std::string> code,
                           std::optional<std::string> error, std::optional<JSObject> data) {
  if (!state_->claim()) return;
  state_->send(encodeFailure(state_->identity, {.message = std::move(message),
                                                .code = std::move(code),
                                                .errorMessage = std::move(error),
                                                .data = std::move(data)}));
}

void CAPPluginCall::unimplemented(std::string message) {
  reject(std::move(message), "UNIMPLEMENTED");
}

bool CAPPluginCall::keepAlive() const {
  return state_->keepAlive.load();
}
void CAPPluginCall::setKeepAlive(bool keepAlive) {
  state_->keepAlive.store(keepAlive);
}

bool CAPPluginCall::isFromWebLayerOf(const CAPPluginCall& other) const {
  return state_->webLayer == other.state_->webLayer;
}

bool CAPPluginCall::isWebLayerOpen() const {
  return state_->webLayer != nullptr && state_->webLayer->isOpen();
}

CAPPlugin::CAPPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName)
    : bridge_(std::move(bridge)),
      pluginId_(std::move(pluginId)),
      pluginName_(std::move(pluginName)) {}

void CAPPlugin::addListener(CAPPluginCall call) {
  auto eventName = call.getString("eventName");
  if (!eventName || eventName->empty()) {
    call.reject("eventName (string) is required");
    return;
  }
  call.setKeepAlive(true);
  eventListeners_[*eventName].push_back(std::move(call));
  auto retained = retainedEventArguments_.find(*eventName);
  if (retained == retainedEventArguments_.end()) return;
  std::vector<JSObject> held = std::move(retained->second);
  retainedEventArguments_.erase(retained);
  heldEventsChanged(*eventName, {});
  for (const JSObject& data : held) notifyListeners(*eventName, data);
}

void CAPPlugin::removeListener(CAPPluginCall call) {
  auto callbackId = call.getString("callbackId");
  if (!callbackId) {
    call.reject("callbackId (string) is required");
    return;
  }
  auto eventName = call.getString("eventName");
  for (auto& [name, listeners] : eventListeners_) {
    if (eventName && name != *eventName) continue;
    std::erase_if(listeners, [&](const CAPPluginCall& listener) {
      return listener.callbackId() == *callbackId;
    });
  }
  // Not answered, as on the phone: the runtime hands any answer to this call
  // to the removed listener's own callback, where it would arrive as a
  // spurious event. A kept call is dropped without an answer.
  call.setKeepAlive(true);
}

void CAPPlugin::removeAllListeners(CAPPluginCall call) {
  // Each page is a web view of its own: it removes its own listeners only.
  for (auto& [name, listeners] : eventListeners_) {
    std::erase_if(listeners,
                  [&](const CAPPluginCall& listener) { return listener.isFromWebLayerOf(call); });
  }
  call.resolve();
}

bool CAPPlugin::hasListeners(std::string_view eventName) {
  auto found = eventListeners_.find(eventName);
  if (found == eventListeners_.end()) return false;
  // A listener whose page has gone will never hear anything again.
  std::erase_if(found->second,
                [](const CAPPluginCall& listener) { return !listener.isWebLayerOpen(); });
  return !found->second.empty();
}

void CAPPlugin::notifyListeners(std::string_view eventName, const JSObject& data,
                                bool retainUntilConsumed) {
  if (!hasListeners(eventName)) {
    if (!retainUntilConsumed) return;
    auto& held = retainedEventArguments_[std::string(eventName)];
    if (held.size() == maximumRetainedEvents) held.erase(held.begin());
    held.push_back(data);
    heldEventsChanged(eventName, held);
    return;
  }
  // A copy: a listener's settlement must not see the list change under it.
  std::vector<CAPPluginCall> listeners = eventListeners_.find(eventName)->second;
  for (CAPPluginCall& listener : listeners) listener.resolve(data);
}

}  // namespace brisklane
