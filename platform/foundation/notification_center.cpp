#include "platform/foundation/notification_center.h"

namespace brisklane {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

}  // namespace brisklane
