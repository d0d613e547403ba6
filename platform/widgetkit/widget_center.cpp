#include "platform/widgetkit/widget_center.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/foundation/user_defaults.h"

namespace brisklane {

std::filesystem::path widgetHostSocketPath() {
  return deviceRoot() / "run" / "widget-host.sock";
}

WidgetCenter& WidgetCenter::shared() {
  static WidgetCenter center;
  return center;
}

void WidgetCenter::reloadAllTimelines() {
  reloadRequests_.fetch_add(1, std::memory_order_relaxed);
  std::string path = widgetHostSocketPath().string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return;
  // Any failure (ENOENT, ECONNREFUSED, EAGAIN with the host's queue full) is
  // the "no host to tell" case: the request is dropped.
  (void)::sendto(descriptor, reloadAllTimelinesMessage.data(), reloadAllTimelinesMessage.size(),
                 MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address);
  ::close(descriptor);
}

}  // namespace brisklane
