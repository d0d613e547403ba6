// A web layer for tests: keeps every message the bridge sends it, and can be
// closed to play a page that has gone. Beside it, a plug-in whose methods
// echo their options or throw.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/capacitor/bridge_message.h"
#include "platform/capacitor/plugin.h"

namespace brisklane::testing {

class RecordingWebLayer final : public WebLayerConnection {
 public:
  void send(std::string message) override {
    std::lock_guard lock(mutex_);
    if (open_) messages_.push_back(std::move(message));
  }
  [[nodiscard]] bool isOpen() const override { return open_.load(); }
  void close() { open_.store(false); }

  [[nodiscard]] std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  // The last message as JSON (null when there is none).
  [[nodiscard]] JSObject last() const {
    std::lock_guard lock(mutex_);
    return messages_.empty() ? JSObject() : JSObject::parse(messages_.back());
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::atomic<bool> open_{true};
};

// A call as the bridge would make it from a web layer's message.
inline CAPPluginCall makeCall(std::shared_ptr<WebLayerConnection> webLayer, std::string pluginId,
                              std::string methodName, JSObject options = JSObject::object(),
                              std::string callbackId = "1") {
  return CAPPluginCall(CallIdentity{.callbackId = std::move(callbackId),
                                    .pluginId = std::move(pluginId),
                                    .methodName = std::move(methodName)},
                       std::move(options), std::move(webLayer));
}

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
  void fail(CAPPluginCall) { throw std::runtime_error("broken"); }

 private:
  const std::string identifier_ = "EchoPlugin";
  const std::string jsName_ = "Echo";
  const std::vector<CAPPluginMethod> methods_ = {
      makePluginMethod<&EchoPlugin::echo>("echo", CAPPluginReturnPromise),
      makePluginMethod<&EchoPlugin::fail>("fail", CAPPluginReturnPromise),
  };
};

}  // namespace brisklane::testing
