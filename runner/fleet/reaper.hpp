// Ends every process left under a subreaper.
#pragma once

#include <sys/types.h>

namespace tarvorun {

// Kills and reaps every child of `self`, and every process that becomes one
// as its parent dies, until `self` has no child left.
void EndDescendants(pid_t self);

}  // namespace tarvorun
