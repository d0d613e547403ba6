// `tap`: the URL that a tap at a point of a drawn widget opens, and with
// `--open`, opening it the way the phone does: `App open URL`, which hands it
// to a running App or starts one.
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "host/host_command.h"
#include "host/picture_output.h"

extern char** environ;

namespace brisklane {
namespace {

struct TapOptions {
  WidgetChoiceOptions choice;
  double x = 0;
  double y = 0;
  bool open = false;
};

// Runs the App beside this program as `App open URL` and answers whether it
// took the URL.
bool openInApp(const HostContext& context, const std::string& url) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path app = self.parent_path() / "App";
  if (error || !std::filesystem::exists(app)) {
    context.err << "error: no App beside this program to open " << url << '\n';
    return false;
  }
  std::string program = app.string(), verb = "open", argument = url;
  char* arguments[] = {program.data(), verb.data(), argument.data(), nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environ) != 0) {
    context.err << "error: cannot start " << program << '\n';
    return false;
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

HostCommand addTapCommand(CLI::App& app) {
  auto options = std::make_shared<TapOptions>();
  CLI::App* command = app.add_subcommand(
      "tap", "Print the URL a tap at a point of a drawn widget opens (exit 1 when none)");
  addWidgetChoiceOptions(*command, options->choice);
  command->add_option("--x", options->x, "Points from the widget's left edge")->required();
  command->add_option("--y", options->y, "Points from the widget's top edge")->required();
  command->add_flag("--open", options->open,
                    "Open the URL in App too, as the phone does on a tap (exit 1 if App refuses)");
  return HostCommand{
      .subcommand = command,
      .run =
          [options](const HostContext& context) {
            auto chosen = chooseWidget(context, options->choice);
            if (const int* exitCode = std::get_if<int>(&chosen)) return *exitCode;
            const ChosenWidget& widget = std::get<ChosenWidget>(chosen);
            const WidgetScene scene =
                widgetScene(*widget.widget, widget.entry, widget.family, widget.device);
            if (const std::optional<URL> url = urlAt(scene, Point{options->x, options->y})) {
              context.out << url->absoluteString << std::endl;
              if (options->open && !openInApp(context, url->absoluteString)) return exitFailure;
              return exitSuccess;
            }
            context.err << "nothing opens at (" << options->x << ", " << options->y << ") of "
                        << widget.widget->kind << " in " << name(widget.family) << " ("
                        << scene.layout.canvas.width << "x" << scene.layout.canvas.height
                        << " points)\n";
            return exitFailure;
          },
  };
}

}  // namespace brisklane
