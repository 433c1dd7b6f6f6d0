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
#include "outcome.hpp"

namespace tarvorun {

// A kept line as a log frame's payload: four bytes of its level, four of
// the length of its meaning (a JSON object of its kind, severity, fields,
// change, earlier count and subject), the meaning, then
// its text, byte for byte. Back from it; empty when it is not such a
// payload.
std::string LogPayload(const TKeptLine& line);
std::optional<TKeptLine> LineOfPayload(const std::string& payload);

// The figures a worker sends once its run ends, as the collector counted
// them: the severities, the comparison's counts, the machine, what it
// examined, the findings gone (only `withGone`: for the report and the
// monitoring outputs) and the device changes. Back into `outcome`, where a
// member that is missing or of the wrong kind leaves it as it was.
std::string FiguresPayload(const TOutcome& run, bool withGone);
void ReadFiguresPayload(const std::string& payload, TOutcome& outcome);

// The earlier run's findings that the run did not log, as the figures'
// member "gone", and back; a member that is not what GoneFigure writes
// gives none.
TRecord GoneFigure(const std::vector<TOldFinding>& gone);
std::vector<TOldFinding> GoneOfFigure(const TRecord& figure);

}  // namespace tarvorun
