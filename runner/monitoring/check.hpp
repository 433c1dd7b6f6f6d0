// hvp-run --check: a run's findings as a check of the monitoring plug-ins'
// kind, which Nagios-style engines run: one status line
// "TARVOANAL STATE - summary | perfdata", one line per finding, and the
// exit status of the state.
#pragma once

#include <string>

#include "monitoring.hpp"

namespace tarvorun {

// In the order the exit statuses give them.
enum class ECheckState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

struct TCheckResult {
    ECheckState fState = ECheckState::Ok;
    // The status line and the long output, each line ending in a newline.
    std::string fText;
};

TCheckResult RunCheck(const TMonitoredRun& run, const TTuning& tuning);

// An outside text made fit for one line of the check's output: escaped as
// the text output escapes it, with no line break and no "|", which the
// engines read as the start of the performance data.
std::string CheckLine(const std::string& text);

}  // namespace tarvorun
