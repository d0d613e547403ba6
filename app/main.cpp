// The application's process entry: the platform's runtime takes over, with
// `AppDelegate` as the delegate class.
#include "app/app_delegate.h"
#include "platform/uikit/uikit.h"

int main(int argc, char** argv) {
  brisklane::UIApplicationMain(argc, argv, std::nullopt,
                               brisklane::NSStringFromClass<brisklane::AppDelegate>());
  return 0;
}
