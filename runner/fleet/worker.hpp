// The worker's side of a fleet run: it parses one inventory, runs the
// plug-in over it and sends everything back to hvp-run through a pipe, as
// frames (frames.hpp).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fleet.hpp"
#include "frames.hpp"
#include "inputs.hpp"
#include "write_all.hpp"

namespace tarvorun {

// The exit status of a single run's worker whose leak checker reported
// leaks after the run, as the checker's own exit status is by default.
constexpr int kLeakStatus = 23;

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

}  // namespace tarvorun
