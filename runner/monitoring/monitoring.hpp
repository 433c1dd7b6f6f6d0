// What the monitoring outputs (the check and the metrics) work from: one or
// many inventories' outcomes, their lines as the run classified them, tuned
// the ways a check is tuned.
#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.hpp"
#include "examined.hpp"
#include "outcome.hpp"

namespace tarvorun {

struct TMonitoredRun {
    std::vector<TOutcome> fMachines;
    // A fleet's figures name their inventory; a single run's do not.
    bool fFleet = false;
    // Whether the run was compared with a baseline, and the machines of the
    // baseline that it did not have.
    bool fCompared = false;
    std::vector<TMissingMachine> fMissing;
};

// A logged line as the check counts it.
struct TFinding {
    std::string fKind;
    ESeverity fSeverity;
    std::string fText;
    // The line naming the disk or controller it is about, or empty.
    std::string fSubject;
};

// Kinds left out, and the severity each severity is counted as.
struct TTuning {
    std::set<std::string> fIgnore;
    std::array<ESeverity, 4> fCountAs = {
        ESeverity::Critical, ESeverity::Warning, ESeverity::Info, ESeverity::Unknown};
    // What a machine with neither an adapter of the family nor a controller
    // weighs: the plug-in had nothing to look at, so by default the check
    // cannot say all is well; none where such a machine is OK.
    std::optional<ESeverity> fNoAdapter = ESeverity::Unknown;
};

// Reads "KIND,..." (known kinds or "other") and "FROM=TO,..." (severity
// names); answers the problem, or an empty text.
std::string ParseIgnore(const std::string& text, TTuning& tuning);
std::string ParseSeverityMap(const std::string& text, TTuning& tuning);
// Reads "ok", "warning", "critical" or "unknown".
std::string ParseNoAdapter(const std::string& text, TTuning& tuning);

// The run's lines, classified and tuned, in the order logged.
std::vector<TFinding> Findings(const TOutcome& machine, const TTuning& tuning);

// Why a machine with neither an adapter of the family nor a controller had
// nothing to look at, or empty for any other machine.
std::string NoAdapterCause(const TOutcome& machine);

}  // namespace tarvorun
