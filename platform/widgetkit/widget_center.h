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

 private:
  WidgetCenter() = default;
};

namespace testing {

// How many reloads this process has requested, sent or not.
[[nodiscard]] std::uint64_t reloadRequestCount();

}  // namespace testing

}  // namespace brisklane
