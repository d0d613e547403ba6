// The extension's process entry: the platform's extension entry takes over.
#include "widget/widget_kit.h"

int main(int argc, char** argv) {
  return brisklane::NSExtensionMain(argc, argv);
}
