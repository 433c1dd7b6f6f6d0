// Many inventories in one call: each runs in a worker process of its own,
// forked from hvp-run, which loads the plug-in afresh; the records come back
// through a pipe and are printed grouped, in input order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "baseline.hpp"
#include "catalogue.hpp"
#include "outcome.hpp"
#include "run_end.hpp"
#include "session.hpp"

namespace tarvorun {

struct TFleetSettings {
    TRunSettings fRun;
    bool fJsonl = false;
    // Whether the runs make records at all: a check prints its own lines
    // alone.
    bool fRecords = true;
    unsigned fJobs = 1;
    // Bounds one inventory's run; 0 for none.
    double fTimeoutSeconds = 0;
    // The address-space limit of a worker, in MiB; 0 for none.
    std::size_t fMemoryLimitMb = 0;
    // Keep every outcome's log lines, for the report.
    bool fKeepLogs = false;
    // Leave out the request and machine lines of text output.
    bool fQuiet = false;
    // Show the progress on standard error, where that is a terminal.
    bool fProgress = false;
    // The earlier run to compare with, or null.
    const TBaseline* fBaseline = nullptr;
    // One inventory alone, in a worker of its own (single_run.hpp): its
    // records carry no inventory name, each goes out as soon as it is
    // made, its messages go to standard error, and what the plug-in
    // writes to its standard output and error goes to hvp-run's standard
    // error as it comes.
    bool fSingle = false;
    // For --live: collects this machine's inventory text, in the worker.
    std::function<std::string()> fCollectLive;
};

// The error that stopped a write of standard output, 0 when none did; a
// reader that went away (EPIPE) is none.
int FailedWriteError();

// Runs every inventory the arguments name and prints their records, then,
// with a baseline, the earlier run's machines it did not have, then the
// summary, on standard output. `onOutcome` sees each outcome in input order,
// `onMissing` the missing machines, once, when the run got to its end.
// Answers the exit status.
int RunFleet(const TFleetSettings& settings, const std::vector<std::string>& arguments,
    const std::function<void(TOutcome&&)>& onOutcome,
    const std::function<void(const std::vector<TMissingMachine>&)>& onMissing);

}  // namespace tarvorun
