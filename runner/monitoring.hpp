// What the monitoring outputs (the check and the metrics) work from: one or
// many inventories' runs, plain, with their lines classified through the
// catalogue and tuned the ways a check is tuned.
#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.hpp"
#include "examined.hpp"
#include "kept_line.hpp"
#include "run_end.hpp"

namespace tarvorun {

struct TOutcome;

struct TMachineRun {
    std::string fName;
    // Its name within the folder or archive it was found in, which the
    // metrics label it by; empty in a single run.
    std::string fRelative;
    // Empty when the inventory names no host or no machine id.
    std::string fHostname;
    std::string fMachineId;
    ERunEnd fEnd = ERunEnd::Completed;
    // Why it did not run to its end, for every end but Completed; for Failed, how
    // GetData ended as the text form prints it ("GetData ended with ...").
    std::string fMessage;
    // Its lines, with the meaning the run gave them.
    std::vector<TKeptLine> fLines;
    bool fPartial = false;
    // What a partial collection could not read, where told.
    std::vector<std::string> fProblems;
    // What the run examined, when the plug-in was loaded.
    std::optional<TExamined> fExamined;
    // With a baseline: how its disks and controllers changed since.
    std::vector<TDeviceChange> fChanges;
};

struct TMonitoredRun {
    std::vector<TMachineRun> fMachines;
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
std::vector<TFinding> Findings(const TMachineRun& machine, const TTuning& tuning);

// One fleet outcome in the plain form.
TMachineRun FromOutcome(const TOutcome& outcome);

// Why a machine with neither an adapter of the family nor a controller had
// nothing to look at, or empty for any other machine.
std::string NoAdapterCause(const TMachineRun& machine);

}  // namespace tarvorun
