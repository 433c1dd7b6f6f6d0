// --fail-each: the request run once per host call, failing each call in
// turn in every way the host can fail it, each run in a worker of its own.
// A plug-in that handles every failure prints nothing; otherwise one line per
// call and failure that let an exception leave the plug-in, crashed or hung
// its run, or raised an assertion, so that a plug-in's developer sees every
// place where it trusts the host too much.
#pragma once

#include "fleet.hpp"
#include "inputs.hpp"

namespace tarvorun {

// Runs `input` clean with its calls recorded, then once per call and
// failure. The lines go to standard output and a count to standard error.
// Answers 0 when no failure got through, 1 when one did, or the status of a
// clean run that could not be made.
int RunFailEach(const TFleetSettings& settings, const TInventoryInput& input);

}  // namespace tarvorun
