// The frames a worker sends back to hvp-run through its pipe: one kind byte,
// a four-byte length in the machine's byte order (both ends are one
// program on one machine) and the payload. This is the one place that
// writes and reads them.
#pragma once

#include <cstddef>
#include <string>

namespace tarvorun {

enum EFrameKind : char {
    kFrameOutput = 'O',       // output bytes, whole records or lines
    kFrameLog = 'L',          // a log line: four bytes of level, four of its subject's code, the text
    kFrameFigures = 'N',      // the run's figures and its machine, a JSON object
    kFrameFailure = 'X',      // how GetData ended with an exception
    kFrameUnreadable = 'E',   // the inventory is not valid: the message
    kFrameOutOfMemory = 'M',  // the worker's memory ran out
    kFrameDone = 'D',         // the run ended: one byte of ERunStatus, then the load problem
    kFrameError = 'R',        // a single run's text for standard error: messages and warnings
    kFrameEnded = 'Z',        // the process is ending by a signal or an exit: what the plug-in was doing
};

constexpr std::size_t kFrameHeader = 5;

// Appends one frame to `out`.
void AppendFrame(std::string& out, char kind, const std::string& payload);

// Writes one frame into `buffer`, whose `room` must hold the header and
// the payload, and answers its length; it allocates nothing, so a signal
// handler may use it.
std::size_t PutFrame(char* buffer, std::size_t room, char kind, const char* payload, std::size_t size);

// Takes the whole frame that begins at `at` in `inbox` and moves `at` past
// it; false when it is not whole yet.
bool TakeFrame(const std::string& inbox, std::size_t& at, char& kind, std::string& payload);

}  // namespace tarvorun
