// The `--os-version` option that both programs take: the system version the
// process simulates (see process_info.h). Defined once, so that the
// application and the widget host read a version the same way.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace CLI {
class App;
}

namespace brisklane {

class OperatingSystemVersionOption {
 public:
  // Adds `--os-version` to `app`; its help names `example` as a version to
  // try. The option reads into this object, which must outlive the parse.
  OperatingSystemVersionOption(CLI::App& app, std::string_view example);
  OperatingSystemVersionOption(const OperatingSystemVersionOption&) = delete;
  OperatingSystemVersionOption& operator=(const OperatingSystemVersionOption&) = delete;

  // After the parse: makes the version given the process's system version.
  // Succeeds when all is well (or no version was given); else the reason,
  // e.g. "--os-version: not a version: sixteen", and the version stays.
  [[nodiscard]] Status apply() const;

 private:
  std::string text_;  // as given; empty when the option was not
};

}  // namespace brisklane
