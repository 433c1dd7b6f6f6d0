// The running machine's inventory, for hvp-run --live.
#pragma once

#include <string>

namespace tarvorun {

// Runs the hvp-collect installed or built beside the running program and
// answers the inventory it writes, read through a pipe: hvp-run --live thus
// sees exactly what hvp-collect writes to a file, while hvp-run itself stays
// free of the collection's libraries, which every worker of a many-inventory
// run would otherwise carry through its fork. What hvp-collect says of
// sources it could not read reaches standard error as it says it. Throws,
// with the reason, when hvp-collect cannot be run or fails outright.
std::string CollectLiveInventory();

}  // namespace tarvorun
