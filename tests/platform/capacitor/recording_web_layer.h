// A web layer for tests: keeps every message the bridge sends it, and can be
// closed to play a page that has gone.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
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

}  // namespace brisklane::testing
