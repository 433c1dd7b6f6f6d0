// One inventory's run (a file, standard input, the bundled example or this
// machine's collection) in a worker process of its own, as each of a
// fleet's inventories runs, through the same launcher: hvp-run itself never
// loads the plug-in, so a plug-in that crashes, exits or hangs cannot take
// hvp-run with it. The records are printed as the worker makes them, the
// run is bounded by --timeout, and how it ended is said in one line.
#pragma once

#include <string>

#include "fleet.hpp"
#include "inputs.hpp"
#include "output.hpp"

namespace tarvorun {

// How a single run ended, beyond its outcome.
struct TSingleEnd {
    // hvp-run's exit status for it, as the help's table gives them.
    int fStatus = 0;
    // The plug-in could not be loaded: it failed to, or it crashed or
    // exited while its library was being opened. `fLoadProblem` says why.
    bool fNotLoaded = false;
    std::string fLoadProblem;
    // The records could not all be written to standard output.
    bool fUnwritten = false;
};

// Runs `input` in a worker under `settings` (whose fSingle is set). The
// records go to `print` as they come (WriteOut prints them; an empty one
// drops them); the run's messages go to `tell`, standard error when it is
// empty. `outcome` gets the run's figures, lines and end, its message
// naming the callback a crash or exit happened in. Records that could not
// be written are said, and make the status 2.
TSingleEnd RunSingleInWorker(const TFleetSettings& settings, const TInventoryInput& input,
    const TTextOut& print, TOutcome& outcome, const TTextOut& tell = TTextOut());

// Writes to standard output, as a fleet's records are written: a failed
// write is kept for FailedWriteError.
void WriteOut(const std::string& text);

// How a process that ended with `status` (as waitpid gives it) ended:
// "crashed with SIGSEGV", or "ended with exit status N".
std::string ProcessEndText(int status);

}  // namespace tarvorun
