// The records a fleet run writes of its own, beside each inventory's: in
// jsonl (`jsonl`) or in text. The summary's members are those of
// TFleetTotals::SummaryRecord; what the comparison with a baseline told
// only when `compared`.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "outcome.hpp"

namespace tarvorun {

// The line that begins an inventory's group in text; none in jsonl.
std::string GroupHeader(bool jsonl, const std::string& name);
// How a run that did not get to its end ended; nothing for one that did.
std::string ErrorText(bool jsonl, const TOutcome& outcome);
// What the plug-in wrote to its standard output or error: how many bytes,
// and the first of them; nothing when it wrote none.
std::string StrayText(
    bool jsonl, const std::string& name, unsigned long long strayBytes, const std::string& excerpt);
// The earlier run's machines this run did not have: a record each, or a
// section of text; nothing when there is none.
std::string MissingText(bool jsonl, const std::vector<TMissingMachine>& missing);
std::string SummaryText(bool jsonl, bool compared, const TFleetTotals& totals);
// The summary's counts as one line of words, for the text form and for
// standard error.
std::string SummaryLine(const TFleetTotals& totals, bool compared);

}  // namespace tarvorun
