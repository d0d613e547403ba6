#include "platform/widgetkit/widget_center.h"

#include <atomic>

#include "platform/device/device_folder.h"
#include "platform/os/unix_sockets.h"

namespace brisklane {
namespace {

std::atomic<std::uint64_t> reloadRequests{0};

}  // namespace

std::filesystem::path widgetHostSocketPath() {
  return deviceRoot() / "run" / "widget-host.sock";
}

WidgetCenter& WidgetCenter::shared() {
  static WidgetCenter center;
  return center;
}

void WidgetCenter::reloadAllTimelines() {
  reloadRequests.fetch_add(1, std::memory_order_relaxed);
  // Any failure (a path too long, ENOENT, ECONNREFUSED, EAGAIN with the
  // host's queue full) is the "no host to tell" case: the request is dropped.
  static_cast<void>(sendDatagram(widgetHostSocketPath(), reloadAllTimelinesMessage));
}

namespace testing {

std::uint64_t reloadRequestCount() {
  return reloadRequests.load(std::memory_order_relaxed);
}

}  // namespace testing
}  // namespace brisklane
