// One inventory's run, as every output after the run reads it: the
// summary, the report, the check and the metrics. The worker's collector
// counted it and gave each kept line its meaning; nothing downstream tells
// any of it again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "baseline.hpp"
#include "catalogue.hpp"
#include "examined.hpp"
#include "kept_line.hpp"
#include "run_end.hpp"

namespace tarvorun {

struct TOutcome {
    std::string fName;
    // Its name within the folder or archive it was found in, by which it is
    // matched with an earlier run and labelled in the metrics.
    std::string fRelative;
    ERunEnd fKind = ERunEnd::Completed;
    // For Unreadable, Crashed, TimedOut and NotLoaded: the error record's
    // message.
    std::string fMessage;
    // For Failed: how GetData ended, as the text form prints it.
    std::string fFailure;
    std::size_t fFindings = 0;
    // The findings (levels 100 and 101) by severity; with a baseline, how
    // many are new and how many of the earlier run's are gone.
    TSeverityCounts fSeverities;
    std::size_t fNew = 0;
    std::size_t fResolved = 0;
    // With a baseline, the findings whose count rose since.
    std::size_t fRose = 0;
    // What the inventory says of its machine: its host name and id, and
    // whether its collection was partial, with the collector's problems.
    std::string fHostname;
    std::string fMachineId;
    // When the inventory was collected, where it tells: an ISO 8601 time.
    std::string fCollectedAt;
    bool fPartial = false;
    std::vector<std::string> fPartialProblems;
    // The lines with the meaning the worker's collector gave them, kept
    // only for the report and the monitoring outputs.
    std::vector<TKeptLine> fLines;
    // What the run examined, once the plug-in was loaded, and with a
    // baseline the earlier run's findings this one did not log (kept as the
    // lines are) and how its disks and controllers changed since.
    std::optional<TExamined> fExamined;
    std::vector<TOldFinding> fGone;
    std::vector<TDeviceChange> fChanges;

    // Why the run did not get to its end, in the words of its message:
    // GetData's failure, or the error record's message; empty when it
    // completed.
    const std::string& Why() const
    {
        static const std::string kNone;
        return fKind == ERunEnd::Completed ? kNone : fKind == ERunEnd::Failed ? fFailure : fMessage;
    }
};

}  // namespace tarvorun
