// `doctor`: prints the diagnosis (doctor.h), one finding a line, and ends
// with exit code 0 when no finding is a problem, 1 otherwise. `--json` prints
// the same as one document for scripts.
#include <iomanip>
#include <ostream>

#include "diagnosis/doctor.h"
#include "host/commands/host_command.h"

namespace brisklane {
namespace {

struct DoctorCommandOptions {
  bool json = false;
  std::string application;
};

void printText(std::ostream& out, const Diagnosis& diagnosis) {
  for (const Finding& finding : diagnosis.findings) {
    out << std::left << std::setw(8) << name(finding.verdict) << ' ' << std::setw(14)
        << finding.subject << ' ' << finding.message << '\n';
  }
  out << '\n' << diagnosis.verdict() << '\n';
}

void declareDoctorOptions(CLI::App& command, DoctorCommandOptions& options) {
  command.description(
      "Explain why the Today widget may be empty: the App Group, the device's folders, the "
      "store and its summary, the widget host and App (exit 1 when something keeps the "
      "widget from showing a summary)");
  command.add_flag("--json", options.json, "Print the findings as one JSON document");
  command.add_option("--app", options.application,
                     "The App program to ask for its App Group (default: the one beside this "
                     "program)");
}

int runDoctor(const HostContext& context, const DoctorCommandOptions& options) {
  DoctorOptions doctor;
  if (!options.application.empty()) doctor.application = options.application;
  const Diagnosis diagnosis = diagnose(doctor);
  if (options.json) {
    printJson(context.out, diagnosisJson(diagnosis));
  } else {
    printText(context.out, diagnosis);
  }
  return diagnosis.healthy() ? exitSuccess : exitFailure;
}

}  // namespace

HostCommand addDoctorCommand(CLI::App& app) {
  return commandWithOptions<DoctorCommandOptions>(app, "doctor", declareDoctorOptions, runDoctor);
}

}  // namespace brisklane
