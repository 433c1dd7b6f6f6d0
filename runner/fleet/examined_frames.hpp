// What a worker tells hvp-run of the run it made, beside its output, so that
// the check, the metrics, the report and the summary of a fleet know what
// each inventory's run examined, each of its lines with its meaning and the
// disk or controller it is about, and what vanished since the earlier run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "baseline.hpp"
#include "examined.hpp"
#include "json_line.hpp"
#include "kept_line.hpp"

namespace tarvorun {

// The examined record's members, as the figures' member "examined".
TRecord ExaminedFigure(const TExamined& examined);
// Back from that member; empty when it is not what ExaminedFigure writes.
std::optional<TExamined> ExaminedOfFigure(const TRecord& figure);

// A line's subject in four bytes: none, or a disk's or controller's place.
std::int32_t SubjectCode(const std::optional<TSubject>& subject);
std::optional<TSubject> SubjectOfCode(std::int32_t code);

// A kept line as a log frame's payload: four bytes of its level, four of
// its subject's code, four of the length of its meaning (a JSON object of
// its kind, severity, fields, change and earlier count), the meaning, then
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
