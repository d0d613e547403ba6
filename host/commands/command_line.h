// The host's command line, for the process entry and for tests that run it
// in-process.
#pragma once

#include <iosfwd>
#include <vector>

#include "widget/widget_configuration.h"

namespace brisklane {

// Reads `argv`, applies the global options and runs the chosen command over
// `widgets`. Answers the process's exit code: 0 success, 1 failure, 2 bad
// command line.
[[nodiscard]] int runHostCommandLine(int argc, const char* const* argv,
                                     const std::vector<WidgetConfiguration>& widgets,
                                     std::ostream& out, std::ostream& err);

}  // namespace brisklane
