// What hvp-run's monitoring options (--check, --metrics, --ignore,
// --severity-map, --no-adapter) say, and how a run ends with them: the metrics written,
// the check printed, and the check's state as the exit status.
#pragma once

#include <string>

#include "monitoring.hpp"
#include "session.hpp"

namespace tarvorun {

struct TMonitorOptions {
    bool fCheck = false;
    std::string fMetricsPath;
    std::string fIgnore;
    std::string fSeverityMap;
    std::string fNoAdapter;
    TTuning fTuning;
    bool Active() const { return fCheck || !fMetricsPath.empty(); }
};

// Reads the tuning options; answers the problem, or an empty text.
std::string ReadMonitorOptions(TMonitorOptions& options);

// Writes the metrics and prints the check; answers the exit status: the
// check's state in check mode, otherwise `status` (2 when the metrics could
// not be written).
int FinishMonitoring(const TMonitorOptions& options, const TMonitoredRun& run, int status);

}  // namespace tarvorun
