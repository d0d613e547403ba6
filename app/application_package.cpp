// The application package's settings, as its property list and main
// interface description would hold them: the classes the runtime finds by
// name, and the window's root view controller. Linked into the `App`
// executable itself, so that the registrations always run before `main`.
#include "app/app_delegate.h"
#include "app/main_view_controller.h"
#include "platform/uikit/uikit.h"

namespace brisklane {
namespace {

[[maybe_unused]] const bool packageRegistered =
    registerClass<AppDelegate>() && registerClass<MainViewController>() &&
    registerMainInterface({.rootViewControllerClassName = NSStringFromClass<MainViewController>()});

}  // namespace
}  // namespace brisklane
