// WidgetKit's `WidgetCenter`, the application's side of the widget host:
// `reloadAllTimelines()` asks a running widget host to ask every provider for
// a new timeline.
//
// The request is one datagram with the text "reloadAllTimelines" sent to the
// host's Unix datagram socket beside the store,
// `$BRISKLANE_HOME/run/widget-host.sock`. It is fire-and-forget: the socket
// never blocks, nothing is awaited, and every failure (no host, a stale
// socket file, a host whose queue is full) leaves the request unsent without
// the caller ever knowing. Safe from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace brisklane {

inline constexpr std::string_view reloadAllTimelinesMessage = "reloadAllTimelines";

// Where a running widget host receives its requests.
[[nodiscard]] std::filesystem::path widgetHostSocketPath();

class WidgetCenter {
 public:
  // `WidgetCenter.shared`.
  [[nodiscard]] static WidgetCenter& shared();

  void reloadAllTimelines();

  // Test seam: how many reloads this process has requested, sent or not.
  [[nodiscard]] std::uint64_t reloadRequestCount() const {
    return reloadRequests_.load(std::memory_order_relaxed);
  }

 private:
  WidgetCenter() = default;
  std::atomic<std::uint64_t> reloadRequests_{0};
};

}  // namespace brisklane
