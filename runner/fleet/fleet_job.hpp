// One inventory's run as hvp-run follows it, from the worker's start to the
// printing of its records.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "fleet.hpp"
#include "held_output.hpp"

namespace tarvorun {

using TClock = std::chrono::steady_clock;

// One inventory's run, from its start to its printing.
struct TJob {
    TOutcome fOutcome;
    int fFd = -1;
    std::string fInbox;
    std::size_t fInboxAt = 0;
    // Output that came while an earlier inventory was not printed yet,
    // past the fleet's bound on held output in a temporary file.
    THeldOutput fOutput;
    bool fTimedOut = false;
    bool fFinished = false;
    bool fHeaderPrinted = false;
    bool fGotDone = false;
    char fDoneStatus = 0;
    std::string fLoadProblem;
    bool fUnreadable = false;
    bool fOutOfMemory = false;
    // What the worker wrote to its standard output and error: how many
    // bytes, and the first of them.
    unsigned long long fStrayBytes = 0;
    std::string fStray;
    // A single run's text for standard error, not yet printed.
    std::string fErrorText;
    // The worker ended by a signal or an exit while the plug-in was doing
    // `fEndedDuring` (empty when it was not in the plug-in).
    bool fEnded = false;
    std::string fEndedDuring;
};

// Reads what the worker's pipe holds into the job's inbox, straight in: a
// buffer on the stack would be pages written, and copied, after every fork.
// At the end of the pipe (the worker is gone, or about to be) it is closed.
void ReadPipe(TJob& job);

// Takes the whole frames out of the job's inbox into the job. Answers how
// many bytes of output it added in memory; with `spill`, or once the job has
// spilled, its output goes to its temporary file instead.
std::size_t TakeFrames(TJob& job, bool spill);

// Writes the job's output held in memory and in its temporary file to
// standard output, and lets go of both.
void WriteHeldOutput(TJob& job);

// Sets the outcome of a job whose worker has ended with `status` (as
// waitpid gives it), from the frames it sent and how it ended.
void Conclude(TJob& job, int status, const TFleetSettings& settings);

// Writes the whole text to standard output, as far as it can.
void WriteOut(const std::string& text);

// Says on standard error why standard output could not be written; false
// when nothing failed.
bool ReportFailedWrite();

}  // namespace tarvorun
