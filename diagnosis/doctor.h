// `doctor`: why the Today widget may be empty. The system itself stays
// silent by design (an absent summary, a fixed status line); the doctor looks
// at everything the two programs meet in and explains, one finding a line:
// the App Group identifier and whether `App` belongs to the same group, the
// device folder and the container, the store file and its integrity, the
// two keys, whether "today" decodes (and if not, the first rule it breaks,
// from the decoder the widget uses), the widget host and what each placed
// widget shows, whether `App` runs, and the device's notifications: those
// whose moment has passed while they are still pending, and those delivered
// that no page has heard.
//
// It changes nothing: the store is opened read-only and never set up (SQLite
// may open an empty log beside it, as every reader does), no folder is made,
// no request is sent to a running program.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/enum_names.h"
#include "platform/foundation/date.h"

namespace brisklane {

// How a finding weighs: `problem` keeps the widget from showing a summary;
// `warning` is likely to, or will once something else changes; `info` is
// worth knowing.
enum class Verdict { ok, info, warning, problem };
template <>
inline constexpr auto enumNames<Verdict> = namesThrough<Verdict::problem>({"ok", "info", "warning",
                                                                           "problem"});

struct Finding {
  std::string subject;  // what was looked at: "App Group", "store", "today", ...
  Verdict verdict;
  std::string message;  // one line

  friend bool operator==(const Finding&, const Finding&) = default;
};

struct Diagnosis {
  std::vector<Finding> findings;

  // No finding is a problem.
  [[nodiscard]] bool healthy() const;
  // One line: the first problem, or that the widget can show the summary.
  [[nodiscard]] std::string verdict() const;
};

struct DoctorOptions {
  // The application to ask for its App Group; nothing: the one beside this
  // program.
  std::optional<std::filesystem::path> application;
  // For the age of "diag" and of the last drawing: the system's clock, not
  // one a host has moved.
  Date now{Date::Clock::now()};
};

// Whether the store's integrity is checked: SQLite's full check reads every
// page, which is the doctor's to do, not every round's.
enum class IntegrityCheck { run, skip };

// The App Group identifier, the folders, the store and its two keys: what the
// widget's reads of the store depend on. Never starts or asks a process.
[[nodiscard]] Diagnosis diagnoseStore(Date now = Date{Date::Clock::now()},
                                      IntegrityCheck check = IntegrityCheck::run);

// The verdict on the store now, without the integrity check: why a widget
// finds no summary, as the running host reports it each round.
[[nodiscard]] std::string missingSummaryVerdict();

// Everything: the store's findings, whether `App` belongs to the same App
// Group, the widget host and its placed widgets, the running `App`.
[[nodiscard]] Diagnosis diagnose(const DoctorOptions& options);

// {"healthy": bool, "verdict": "...", "findings": [{"subject","verdict","message"}, ...]}
[[nodiscard]] nlohmann::ordered_json diagnosisJson(const Diagnosis& diagnosis);

}  // namespace brisklane
