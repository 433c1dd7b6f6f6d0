// The records of hvp-run's jsonl output, as a reader of it checks them:
// every type hvp-run writes, with the members each carries and the kind of
// value each member holds. One table, so that a record of a new type, or a
// new member, is added in one place; the writers are checked against it.
#pragma once

#include <string>

#include "json_line.hpp"

namespace tarvorun {

// What is wrong with `record` as one of hvp-run's records, or nothing: a
// type hvp-run does not write, a member its type needs that it lacks, or a
// member whose value is of the wrong kind or out of range. Members hvp-run
// does not write are passed over, as the contract lets later versions add
// them.
std::string RecordProblem(const TRecord& record);

// A record as a line of hvp-run's jsonl output, with its end: the way every
// writer of those records makes its line (JsonLine's). A build with
// assertions checks each line it writes against the table, so that every
// test that writes records holds the writers to what the reader takes.
std::string RecordLine(const TRecord& record);
// That check, of a line a writer made directly.
void CheckRecordLine(const std::string& line);

}  // namespace tarvorun
