// The worker's side of a fleet run: it parses one inventory, runs the
// plug-in over it and sends everything back to hvp-run through a pipe, as
// frames of one kind byte, a four-byte length and the payload.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fleet.hpp"
#include "inputs.hpp"

namespace tarvorun {

enum EFrameKind : char {
    kFrameOutput = 'O',       // output bytes, whole records or lines
    kFrameLog = 'L',          // a log line, for the report: four bytes of level, then the text
    kFrameFigures = 'N',      // the run's figures and its machine, a JSON object
    kFrameFailure = 'X',      // how GetData ended with an exception
    kFrameUnreadable = 'E',   // the inventory is not valid: the message
    kFrameOutOfMemory = 'M',  // the worker's memory ran out
    kFrameDone = 'D',         // the run ended: one byte of ERunStatus, then the load problem
};

constexpr std::size_t kFrameHeader = 5;

// Writes the whole buffer to `fd`, again after an interrupted write; false
// when a write fails, which leaves what to do to the caller.
bool WriteAll(int fd, const char* data, std::size_t size);

// Runs in a process just forked from hvp-run: closes the descriptors it
// inherited but does not need, puts itself in a process group of its own,
// ends with hvp-run, applies the memory limit, and runs the inventory, or
// the probe when there is none. Never returns.
[[noreturn]] void BecomeWorker(const TFleetSettings& settings, const TInventoryInput* input, int fd,
    const std::vector<int>& inherited, pid_t parent);

// Runs in the forked worker: parses the inventory, runs the plug-in and
// writes the frames to `fd`. Never returns.
[[noreturn]] void RunInventoryWorker(const TFleetSettings& settings, const TInventoryInput& input, int fd);

// Runs in a forked worker: loads the plug-in over an empty inventory with no
// class requested, to learn whether it can be loaded at all. Never returns.
[[noreturn]] void RunProbeWorker(const TFleetSettings& settings, int fd);

// Takes the whole frame that begins at `at` in `inbox` and moves `at` past
// it; false when it is not whole yet.
bool TakeFrame(const std::string& inbox, std::size_t& at, char& kind, std::string& payload);

}  // namespace tarvorun
