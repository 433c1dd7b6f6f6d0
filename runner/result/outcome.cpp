// The totals of many outcomes, counted in one place, and the summary
// record every output that shows them starts from.
#include "outcome.hpp"

namespace tarvorun {

void TFleetTotals::Add(const TOutcome& outcome)
{
    ++fInventories;
    ++fByEnd[static_cast<std::size_t>(outcome.fKind)];
    if (RanToItsEnd(outcome.fKind) && outcome.fSeverities.Total() > 0) {
        ++fWithFindings;
        fFailedWithFindings += outcome.fKind == ERunEnd::Failed ? 1 : 0;
    }
    fPartial += outcome.fPartial ? 1 : 0;
    fNoAdapter += outcome.fExamined && outcome.fExamined->NoAdapter() ? 1 : 0;
    fSeverities.Add(outcome.fSeverities);
    fNew += outcome.fNew;
    fResolved += outcome.fResolved;
    fRose += outcome.fRose;
    for (const TDeviceChange& change : outcome.fChanges)
        fVanished += change.fKind == TDeviceChange::EKind::Vanished ? 1 : 0;
}

TRecord TFleetTotals::SummaryRecord(bool compared) const
{
    TRecord record{{"type", "summary"}, {"inventories", fInventories}};
    for (const ERunEnd end : kSummaryEnds) {
        record[std::string(WordsOf(end).fRecord)] = Count(end);
        if (end == ERunEnd::Completed)
            record["withFindings"] = fWithFindings;
    }
    record["partial"] = fPartial;
    record["noAdapter"] = fNoAdapter;
    record["critical"] = fSeverities.fCritical;
    record["warning"] = fSeverities.fWarning;
    record["info"] = fSeverities.fInfo;
    if (compared) {
        record["new"] = fNew;
        record["resolved"] = fResolved;
        record["missing"] = fMissing;
        record["vanished"] = fVanished;
        record["rose"] = fRose;
    }
    return record;
}

}  // namespace tarvorun
