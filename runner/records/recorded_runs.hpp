// The runs a jsonl output of hvp-run tells, read back: its records grouped
// into one machine's run each, as a run prints them, with each line's
// meaning as it was recorded (none, for an earlier version's records, which
// name none). The report (--from-jsonl) and the baseline (--baseline) both
// replay them through the run's collector (ReplayRecords), which gives the
// lines without a kind theirs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "jsonl_reader.hpp"
#include "outcome.hpp"

namespace tarvorun {

// One machine's run as its records told it, before it is counted or
// compared again.
struct TRecordedRun {
    // Named as the records name it (`fName`; a single run's, which name
    // none, by the file), its lines, how it ended, what it examined and the
    // comparison the records told.
    TOutcome fOutcome;
    // The name the records give it, by which a baseline knows it: empty
    // for a single run's.
    std::string fRawName;
    // Where its records began: "FILE: line N".
    std::string fPlace;
};

// Reads one file through `reader`, handing each run to `onRun` once its
// last record is read, and each machine a `missing` record names to
// `onMissing`. False, with the reader's message, for a file it refuses;
// the runs read before the problem have been handed on.
bool ReadRecordedRuns(TJsonlReader& reader, const std::string& path,
    const std::function<void(TRecordedRun&&)>& onRun, const std::function<void(TMissingMachine&&)>& onMissing,
    std::string& problem);

}  // namespace tarvorun
