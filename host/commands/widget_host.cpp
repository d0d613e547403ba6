// The desktop widget host: the stand-in for the phone's widget host. It owns
// the process entry the extension calls (`NSExtensionMain`), receives the
// bundle's widgets (`runWidgetHost`), and serves its command line over them.
#include <signal.h>

#include <cassert>
#include <iostream>
#include <optional>
#include <string>

#include "host/commands/command_line.h"
#include "host/commands/host_command.h"
#include "platform/foundation/operating_system_version_option.h"
#include "platform/foundation/process_info.h"
#include "widget/widget_kit.h"

namespace brisklane {
namespace {

// The one process's command line, between `NSExtensionMain` and the bundle's
// hand-over to `runWidgetHost`. Set and cleared by `NSExtensionMain` only.
struct Invocation {
  int argc;
  char** argv;
  std::optional<int> exitCode;  // set once the host has run
};
Invocation* currentInvocation = nullptr;

}  // namespace

int runHostCommandLine(int argc, const char* const* argv,
                       const std::vector<WidgetConfiguration>& widgets, std::ostream& out,
                       std::ostream& err) {
  CLI::App app{"The desktop widget host of the Brisklane widget extension."};
  app.require_subcommand(1);
  app.fallthrough();  // global options may follow the command
  OperatingSystemVersionOption osVersion(app, "16.4");

  // Each command lives in its own file; add new ones here.
  HostCommand commands[] = {
      addListCommand(app),   addTimelineCommand(app), addViewCommand(app),
      addRenderCommand(app), addGalleryCommand(app),  addTapCommand(app),
      addServeCommand(app),  addDoctorCommand(app),   addSnapshotCommand(app),
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error, out, err);
    return code == 0 ? exitSuccess : exitUsage;
  }
  if (auto applied = osVersion.apply(); !applied) {
    err << "error: " << applied.reason() << " (expected one to three numbers, e.g. 16.4)\n";
    return exitUsage;
  }
  HostContext context{.widgets = widgets, .out = out, .err = err};
  for (HostCommand& command : commands) {
    if (command.subcommand->parsed()) return command.run(context);
  }
  return exitUsage;
}

void runWidgetHost(const std::vector<WidgetConfiguration>& widgets) {
  assert(currentInvocation && "the bundle was handed over outside NSExtensionMain");
  if (!currentInvocation) return;
  currentInvocation->exitCode = runHostCommandLine(currentInvocation->argc, currentInvocation->argv,
                                                   widgets, std::cout, std::cerr);
}

int NSExtensionMain(int argc, char** argv) {
  // A picture or manifest written beyond the file-size limit fails (EFBIG)
  // and is reported, instead of ending the host.
  ::signal(SIGXFSZ, SIG_IGN);
  Invocation invocation{.argc = argc, .argv = argv, .exitCode = std::nullopt};
  currentInvocation = &invocation;
  int entryCode = extensionMain();
  currentInvocation = nullptr;
  // The host's own verdict, when it ran; else what the extension's entry said.
  return invocation.exitCode.value_or(entryCode);
}

}  // namespace brisklane
