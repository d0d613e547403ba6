// The application package's settings, as its property list, main interface
// description and entitlements would hold them: the classes the runtime
// finds by name, the window's root view controller, the bundle's name,
// identifier and versions, the App Group it shares with the widget
// extension, and the plug-in frameworks it links for the web layer. Linked into the `App`
// executable itself, so that the registrations always run before `main`.
#include "app/app_delegate.h"
#include "app/main_view_controller.h"
#include "platform/capacitor/bridge_view_controller.h"
#include "platform/plugins/badge_plugin.h"
#include "platform/plugins/capacitor_updater_plugin.h"
#include "platform/plugins/local_notifications_plugin.h"
#include "platform/uikit/uikit.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

[[maybe_unused]] const bool packageRegistered =
    registerClass<AppDelegate>() && registerClass<MainViewController>() &&
    registerMainInterface(
        {.rootViewControllerClassName = NSStringFromClass<MainViewController>()}) &&
    registerEntitlements({.applicationGroups = {std::string(appGroupIdentifier)}}) &&
    registerBundleInformation({.displayName = "Brisklane",
                               .identifier = "app.brisklane",
                               .shortVersion = "1.0",
                               .version = "1"}) &&
    registerPackagedPlugins({pluginType<LocalNotificationsPlugin>(), pluginType<BadgePlugin>(),
                             pluginType<CapacitorUpdaterPlugin>()});

}  // namespace
}  // namespace brisklane
