// How many launchers a fleet run can start within the limit on open
// descriptors.
//
// Every launcher costs hvp-run a socket, and every request in flight a pipe
// for its frames and, once the output held back overflows, a temporary
// file. Started regardless, `--jobs 4096` under the usual limit of 1,024
// ran out of descriptors halfway through the launchers, and a small limit
// left pipes that could not be made, so inventories "could not start". The
// run starts as many launchers as the limit holds instead, after raising
// the limit as far as the hard limit allows; the launchers give their
// workers the limit hvp-run was started with.
#pragma once

#include <string>

namespace tarvorun {

// How many launchers of `depth` requests each a run asking for `jobs` may
// start: at most `jobs`, and 0 when not even one fits, with the reason in
// `problem`. Fewer than asked for are said in `problem` too, as a note.
unsigned SlotsWithinDescriptorLimit(unsigned jobs, unsigned depth, std::string& problem);

// In a launcher: gives back the limit on open descriptors hvp-run was
// started with, for the workers.
void RestoreDescriptorLimit();

}  // namespace tarvorun
