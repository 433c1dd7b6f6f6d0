// The totals of many outcomes, counted in one place.
#include "outcome.hpp"

namespace tarvorun {

void TFleetTotals::Add(const TOutcome& outcome)
{
    ++fInventories;
    ++fByEnd[static_cast<std::size_t>(outcome.fKind)];
    if (RanToItsEnd(outcome.fKind) && outcome.fSeverities.Total() > 0)
        ++fWithFindings;
    fPartial += outcome.fPartial ? 1 : 0;
    fNoAdapter += outcome.fExamined && outcome.fExamined->NoAdapter() ? 1 : 0;
    fSeverities.Add(outcome.fSeverities);
    fNew += outcome.fNew;
    fResolved += outcome.fResolved;
    fRose += outcome.fRose;
    for (const TDeviceChange& change : outcome.fChanges)
        fVanished += change.fKind == TDeviceChange::EKind::Vanished ? 1 : 0;
}

}  // namespace tarvorun
