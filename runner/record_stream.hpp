// Where a single run writes its records: a descriptor of hvp-run's own,
// duplicated from standard output, while fd 1 itself is pointed at standard
// error. The plug-in shares the process, so whatever it (or a library)
// writes to fd 1 or closes there then lands beside the messages, never
// inside or between the records.
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

}  // namespace tarvorun
