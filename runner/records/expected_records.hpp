// hvp-run --expect FILE.jsonl: a plug-in's developer keeps a run's records
// as the expected output of an inventory, and each later run is compared
// with them record by record, as a golden test compares. --expect-update
// writes the file anew from the run instead.
#pragma once

#include <string>

namespace tarvorun {

// Compares `records` (JSONL, one record a line) with the file's: each line
// as a JSON value, so that spacing and the order of members do not count.
// Answers whether they are equal; with the first difference, or what is
// wrong with a file that cannot be read, in `said`.
enum class EExpected { Equal, Differs, Unreadable };
EExpected CompareWithExpected(const std::string& path, const std::string& records, std::string& said);

}  // namespace tarvorun
