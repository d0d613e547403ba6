#include "platform/foundation/operating_system_version_option.h"

#include <CLI/CLI.hpp>

#include "platform/foundation/process_info.h"

namespace brisklane {

OperatingSystemVersionOption::OperatingSystemVersionOption(CLI::App& app,
                                                           std::string_view example) {
  app.add_option("--os-version", text_,
                 "Simulated system version, e.g. " + std::string(example) + " (default " +
                     defaultOperatingSystemVersion.text() + ")");
}

Status OperatingSystemVersionOption::apply() const {
  if (text_.empty()) return {};
  auto version = OperatingSystemVersion::parse(text_);
  if (!version) return Failure{"--os-version: not a version: " + text_};
  setOperatingSystemVersion(*version);
  return {};
}

}  // namespace brisklane
