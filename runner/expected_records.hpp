// hvp-run --expect FILE.jsonl: a plug-in's developer keeps a run's records
// as the expected output of an inventory, and each later run is compared
// with them record by record, as a golden test compares. --expect-update
// writes the file anew from the run instead.
#pragma once

#include <string>

namespace tarvorun {

// Compares `records` (JSONL, one record a line) with the file's: each line
// as a JSON value, so that spacing and the order of members do not count.
// Answers 0 when they are equal, 1 with the first difference in `said`, or 2
// with what is wrong in `said` when the file cannot be read.
int CompareWithExpected(const std::string& path, const std::string& records, std::string& said);

}  // namespace tarvorun
