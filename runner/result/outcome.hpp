// One inventory's run, as every output after the run reads it: the
// summary, the report, the check and the metrics; and the totals of many. The worker's collector
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

    // Leaves out what the comparison with an earlier run told: that of a
    // run cut short, which would find gone all it did not get to, or that
    // of records compared again.
    void ForgetComparison()
    {
        for (TKeptLine& line : fLines) {
            line.fChange.clear();
            line.fWas.reset();
        }
        fGone.clear();
        fChanges.clear();
        fNew = fResolved = fRose = 0;
    }

    // Why the run did not get to its end, in the words of its message:
    // GetData's failure, or the error record's message; empty when it
    // completed.
    const std::string& Why() const
    {
        static const std::string kNone;
        return fKind == ERunEnd::Completed ? kNone : fKind == ERunEnd::Failed ? fFailure : fMessage;
    }
};

// The ends the summary counts, in its order; a plug-in that cannot be
// loaded stops a fleet before its summary.
inline constexpr ERunEnd kSummaryEnds[] = {
    ERunEnd::Completed, ERunEnd::Failed, ERunEnd::Unreadable, ERunEnd::Crashed, ERunEnd::TimedOut};

// The counts of the closing summary, of many outcomes: the one place a
// fleet's totals are counted, for the summary and the report alike.
struct TFleetTotals {
    std::size_t fInventories = 0;
    std::size_t fWithFindings = 0;
    // The failed runs among those with findings: a picture of the machines
    // by how their run ended shows them failed.
    std::size_t fFailedWithFindings = 0;
    std::size_t fPartial = 0;
    // The machines with neither an adapter of the family nor a controller.
    std::size_t fNoAdapter = 0;
    TSeverityCounts fSeverities;
    std::size_t fNew = 0;
    std::size_t fResolved = 0;
    // With a baseline, the findings whose count rose since.
    std::size_t fRose = 0;
    // The earlier run's machines that this run did not have, and the disks
    // and controllers that vanished from the machines it has.
    std::size_t fMissing = 0;
    std::size_t fVanished = 0;
    // The inventories by how their run ended.
    std::size_t fByEnd[6] = {};

    std::size_t Count(ERunEnd end) const { return fByEnd[static_cast<std::size_t>(end)]; }
    void Add(const TOutcome& outcome);
    // The jsonl summary record of these totals, in the contract's order;
    // what the comparison with a baseline told only when `compared`.
    TRecord SummaryRecord(bool compared) const;
};

}  // namespace tarvorun
