// What a worker tells hvp-run of the run it made, beside its output, so that
// the check, the metrics, the report and the summary of a fleet know what
// each inventory's run examined and which disk or controller each of its
// lines is about, as a single run knows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "examined.hpp"
#include "json_line.hpp"

namespace tarvorun {

// The examined record's members, as the figures' member "examined".
TRecord ExaminedFigure(const TExamined& examined);
// Back from that member; empty when it is not what ExaminedFigure writes.
std::optional<TExamined> ExaminedOfFigure(const TRecord& figure);

// A line's subject in four bytes: none, or a disk's or controller's place.
std::int32_t SubjectCode(const std::optional<TSubject>& subject);
std::optional<TSubject> SubjectOfCode(std::int32_t code);

}  // namespace tarvorun
