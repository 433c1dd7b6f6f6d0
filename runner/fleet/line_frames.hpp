// What a worker tells hvp-run of the run it made beside its output, in the
// frames of fleet/frames.hpp: each line with its meaning and the disk or
// controller it is about, and the findings gone since the earlier run. What
// the run examined goes as the examined record's members (examined.hpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "baseline.hpp"
#include "json_line.hpp"
#include "kept_line.hpp"

namespace tarvorun {

// A kept line as a log frame's payload: four bytes of its level, four of
// the length of its meaning (a JSON object of its kind, severity, fields,
// change, earlier count and subject), the meaning, then
// its text, byte for byte. Back from it; empty when it is not such a
// payload.
std::string LogPayload(const TKeptLine& line);
std::optional<TKeptLine> LineOfPayload(const std::string& payload);

// The earlier run's findings that the run did not log, as the figures'
// member "gone", and back; a member that is not what GoneFigure writes
// gives none.
TRecord GoneFigure(const std::vector<TOldFinding>& gone);
std::vector<TOldFinding> GoneOfFigure(const TRecord& figure);

}  // namespace tarvorun
