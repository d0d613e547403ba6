// Capacitor's plug-in vocabulary: the web layer's call as the plug-in sees it
// (`CAPPluginCall`), a method's entry in a plug-in's table
// (`CAPPluginMethod`), the plug-in base class (`CAPPlugin`) with its event
// listeners, and the protocol by which a plug-in describes itself to the
// bridge (`CAPBridgedPlugin`).
//
// A call is settled exactly once: the first `resolve` or `reject` answers the
// web layer, a second is a bug (it asserts in debug builds and is ignored
// otherwise), and a call that every holder drops unsettled is answered with
// an error, so that no promise of the web layer waits forever. A call kept
// alive (a listener) may be resolved any number of times and is dropped
// silently.
#pragma once

#include <atomic>
#include <concepts>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capacitor/bridge_message.h"
#include "platform/uikit/object_runtime.h"

namespace brisklane {

// The bridge's end of one web layer (a page): where settlements of its calls
// go. Implemented by each transport.
class WebLayerConnection {
 public:
  virtual ~WebLayerConnection() = default;
  // Sends one message. Safe from any thread; does nothing once the web layer
  // is gone.
  virtual void send(std::string message) = 0;
  [[nodiscard]] virtual bool isOpen() const = 0;
};

class CAPPluginCall {
 public:
  CAPPluginCall(CallIdentity identity, JSObject options,
                std::shared_ptr<WebLayerConnection> webLayer);

  [[nodiscard]] const std::string& callbackId() const;
  [[nodiscard]] const std::string& pluginId() const;
  [[nodiscard]] const std::string& methodName() const;
  [[nodiscard]] const JSObject& options() const;

  // The string value of the named argument; nothing when it is absent or not
  // a string.
  [[nodiscard]] std::optional<std::string> getString(std::string_view key) const;

  // Without data (null), the web layer's promise resolves `undefined`.
  void resolve(const JSObject& data = JSObject());
  void reject(std::string message, std::optional<std::string> code = std::nullopt,
              std::optional<std::string> error = std::nullopt,
              std::optional<JSObject> data = std::nullopt);
  // A method the plug-in declares but does not implement on this platform:
  // rejected with `message` and the code "UNIMPLEMENTED".
  void unimplemented(std::string message = "not implemented");

  // A kept call may settle many times (each settlement marked "save") and is
  // never answered on being dropped.
  [[nodiscard]] bool keepAlive() const;
  void setKeepAlive(bool keepAlive);

  // Whether the web layer that made the call is still there.
  [[nodiscard]] bool isWebLayerOpen() const;
  // Whether both calls came from the same web layer (page).
  [[nodiscard]] bool isFromWebLayerOf(const CAPPluginCall& other) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

class CAPPlugin;

// How the bridge reaches a plug-in's method.
using CAPPluginMethodSelector = void (*)(CAPPlugin& plugin, CAPPluginCall call);

inline constexpr std::string_view CAPPluginReturnPromise = "promise";
inline constexpr std::string_view CAPPluginReturnNone = "none";

struct CAPPluginMethod {
  std::string name;
  std::string returnType;
  CAPPluginMethodSelector selector;
};

namespace detail {
template <class Method>
struct PluginMethodClass;
template <class Plugin>
struct PluginMethodClass<void (Plugin::*)(CAPPluginCall)> {
  using type = Plugin;
};
}  // namespace detail

// The table entry for `&Plugin::method`, e.g.
// `makePluginMethod<&SharedTodayWidget::set>("set", CAPPluginReturnPromise)`.
template <auto method>
[[nodiscard]] CAPPluginMethod makePluginMethod(std::string_view name, std::string_view returnType) {
  using Plugin = typename detail::PluginMethodClass<decltype(method)>::type;
  static_assert(std::derived_from<Plugin, CAPPlugin>);
  return CAPPluginMethod{.name = std::string(name),
                         .returnType = std::string(returnType),
                         .selector = [](CAPPlugin& plugin, CAPPluginCall call) {
                           (static_cast<Plugin&>(plugin).*method)(std::move(call));
                         }};
}

class CAPBridge;

// The plug-in base. Its listener operations run on the main thread, where the
// bridge dispatches calls.
class CAPPlugin : public NSObject, public std::enable_shared_from_this<CAPPlugin> {
 public:
  CAPPlugin() = default;
  CAPPlugin(std::weak_ptr<CAPBridge> bridge, std::string pluginId, std::string pluginName);

  // Run by the bridge once it has loaded the plug-in.
  virtual void load() {}

  // The bridge that loaded the plug-in, if it is still there.
  [[nodiscard]] std::shared_ptr<CAPBridge> bridge() const { return bridge_.lock(); }
  [[nodiscard]] const std::string& pluginId() const { return pluginId_; }
  [[nodiscard]] const std::string& pluginName() const { return pluginName_; }

  // The web layer's listener calls, which every plug-in has: options
  // {"eventName"} to add; {"eventName","callbackId"} to remove, which is not
  // answered; removing all removes those of the calling page.
  void addListener(CAPPluginCall call);
  void removeListener(CAPPluginCall call);
  void removeAllListeners(CAPPluginCall call);

  // Permissions, which a plug-in without any grants at once (resolves
  // without data).
  virtual void checkPermissions(CAPPluginCall call) { call.resolve(); }
  virtual void requestPermissions(CAPPluginCall call) { call.resolve(); }

  // Sends `data` to every listener of `eventName` whose web layer is still
  // there. With none and `retainUntilConsumed`, the event is held (up to
  // `maximumRetainedEvents` of each name, the oldest dropped first) and sent
  // to the first listener that comes.
  void notifyListeners(std::string_view eventName, const JSObject& data,
                       bool retainUntilConsumed = false);
  [[nodiscard]] bool hasListeners(std::string_view eventName);

  static constexpr std::size_t maximumRetainedEvents = 64;

 protected:
  // Called whenever the events held for `eventName` change: one more held,
  // or all handed to a listener that came (`held` is then empty).
  virtual void heldEventsChanged(std::string_view /*eventName*/,
                                 const std::vector<JSObject>& /*held*/) {}

 private:
  std::weak_ptr<CAPBridge> bridge_;
  std::string pluginId_;
  std::string pluginName_;
  std::map<std::string, std::vector<CAPPluginCall>, std::less<>> eventListeners_;
  std::map<std::string, std::vector<JSObject>, std::less<>> retainedEventArguments_;
};

// How a plug-in describes itself to the bridge.
class CAPBridgedPlugin {
 public:
  virtual ~CAPBridgedPlugin() = default;
  [[nodiscard]] virtual const std::string& identifier() const = 0;
  [[nodiscard]] virtual const std::string& jsName() const = 0;
  [[nodiscard]] virtual const std::vector<CAPPluginMethod>& pluginMethods() const = 0;
};

template <class T>
concept BridgedPluginClass =
    RuntimeClass<T> && std::derived_from<T, CAPPlugin> && std::derived_from<T, CAPBridgedPlugin> &&
    std::constructible_from<T, std::weak_ptr<CAPBridge>, std::string, std::string>;

// A plug-in class as `registerPluginType` takes it: its runtime name and the
// means to construct it for a bridge.
struct CAPPluginType {
  std::string className;
  std::function<std::shared_ptr<CAPPlugin>(std::weak_ptr<CAPBridge>, std::string pluginId,
                                           std::string pluginName)>
      construct;
};

template <BridgedPluginClass Plugin>
[[nodiscard]] CAPPluginType pluginType() {
  return CAPPluginType{.className = NSStringFromClass<Plugin>(),
                       .construct = [](std::weak_ptr<CAPBridge> bridge, std::string pluginId,
                                       std::string pluginName) -> std::shared_ptr<CAPPlugin> {
                         return std::make_shared<Plugin>(std::move(bridge), std::move(pluginId),
                                                         std::move(pluginName));
                       }};
}

}  // namespace brisklane
