// The extension's process entry. The platform's extension entry takes over
// the process and runs the extension's own entry, which hands the bundle to
// the widget host.
#include "widget/widget_bundle.h"
#include "widget/widget_kit.h"

namespace brisklane {

int extensionMain() {
  BrisklaneWidgetBundle::main();
  return 0;
}

}  // namespace brisklane

int main(int argc, char** argv) {
  return brisklane::NSExtensionMain(argc, argv);
}
