// The page's data of one machine, in process: a run's findings are the
// ones its collector counted, and a run cut short, whose worker never sent
// its figures, shows the findings of the lines it sent before it ended.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report.hpp"

namespace {

using tarvorun::ERunEnd;
using tarvorun::ESeverity;
using tarvorun::TKeptLine;
using tarvorun::TOutcome;

TKeptLine Line(int level, ESeverity severity)
{
    TKeptLine line;
    line.fLevel = level;
    line.fText = "a line";
    line.fKind = "other";
    line.fSeverity = severity;
    return line;
}

TEST(ReportData, AMachineShowsTheFindingsItsRunCountedOrSentBeforeItEnded)
{
    struct TCase {
        const char* fProves;
        ERunEnd fEnd;
        // What the worker's figures said; the lines are a critical and a
        // warning finding, and a line of level 0 that is none.
        std::size_t fCounted;
        std::size_t fShown;
    };
    const std::vector<TCase> cases = {
        {"a completed run shows what its collector counted", ERunEnd::Completed, 3, 3},
        {"a failed run got to its end and sent its figures", ERunEnd::Failed, 2, 2},
        {"a crashed run sent none: its finding lines are counted", ERunEnd::Crashed, 0, 2},
        {"so is a run that timed out", ERunEnd::TimedOut, 0, 2},
    };
    for (const TCase& one : cases) {
        TOutcome outcome;
        outcome.fName = "a.json";
        outcome.fKind = one.fEnd;
        outcome.fSeverities.fWarning = one.fCounted;
        outcome.fLines = {
            Line(100, ESeverity::Critical), Line(101, ESeverity::Warning), Line(0, ESeverity::Unknown)};
        const tarvorun::TRecord data = tarvorun::ReportData({&outcome}, false, "2026-12-09T00:00:00Z");
        EXPECT_EQ(data["machines"][0]["findings"], one.fShown) << one.fProves;
    }
}

}  // namespace
