// Where a single run writes its records: a descriptor of hvp-run's own,
// duplicated from standard output, while fd 1 itself is pointed at standard
// error. The plug-in shares the process, so whatever it (or a library)
// writes to fd 1 or closes there then lands beside the messages, never
// inside or between the records.
//
// The records go out in whole lines only, and Ctrl-C (or SIGTERM) that
// comes while a line is being written ends the process right after it: an
// interrupted run leaves no half record. A plug-in that ends the process
// (exit) in the middle of the run is said to have done so, with the status
// of a crashed run, rather than passing for a clean run.
#pragma once

#include <cstdio>
#include <string>

namespace tarvorun {

// Takes standard output for the records; stdout itself when that cannot be
// done.
std::FILE* OpenRecordStream();

// Flushes and closes the records' stream. False, with `problem` saying what
// could not be written and why, when a write failed; a reader that went
// away (a closed pipe) is no failure.
bool CloseRecordStream(std::FILE* stream, std::string& problem);

// The length of the plug-in's run over the inventory `name`: an exit of the
// process meanwhile writes the whole records so far, says
// "hvp-run: NAME: the run ended early with exit status N" and ends with
// `status`. Processes the plug-in started are ended with the run.
class TRunGuard {
public:
    TRunGuard(const std::string& name, int status);
    ~TRunGuard();
    TRunGuard(const TRunGuard&) = delete;
    TRunGuard& operator=(const TRunGuard&) = delete;

    // Ends the guard; the message to print when the plug-in closed or
    // replaced its standard output meanwhile, else empty.
    std::string End();
};

}  // namespace tarvorun
