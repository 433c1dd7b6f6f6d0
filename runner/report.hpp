// The report for people: one self-contained HTML page that leads with what
// matters. The findings by severity and kind, each kind with its title and
// advice from the catalogue; the machines ranked by their worst finding;
// those whose run failed or that could not be read apart, with the reason;
// and, compared with an earlier run, what is new and what was resolved.
//
// The page's script only lays the data out: every meaning (kind, severity,
// title, advice, the comparison) is decided here, from the catalogue and the
// baseline, and embedded as JSON.
#pragma once

#include <string>
#include <vector>

#include "baseline.hpp"
#include "json_line.hpp"
#include "outcome.hpp"
#include "report_history.hpp"

namespace tarvorun {

// One logged line as the report shows it.
struct TReportLine {
    int fLevel = 0;
    std::string fText;
    std::string fKind;
    std::string fSeverity;
    TRecord fFields = TRecord::object();
    // "new" or "same" when the run was compared with an earlier one.
    std::string fChange;
    // The object of the disk or controller a finding is about, or null.
    TRecord fSubject;
    // For "rose" and "fell": the earlier count.
    std::optional<long long> fWas = std::nullopt;
};

// One inventory's run, with what the report needs beyond the summary.
struct TReportMachine {
    // Its lines are taken out, into fLines.
    TOutcome fOutcome;
    std::vector<TReportLine> fLines;
    // The earlier run's findings that this run did not log.
    std::vector<TOldFinding> fResolved;
    // Whether fLines' changes and fResolved are told (by a baseline, or by
    // the records read).
    bool fCompared = false;
    // The name an earlier run knows the machine by: a single run's is "".
    std::string fBaselineName;
    // The sources a partial collection could not read, where told.
    std::vector<std::string> fProblems;
    // The examined record's members, or null where the run did not tell.
    TRecord fExamined;
};

class TReport {
public:
    // The earlier run the machines were compared with: those read back
    // from records are compared with it here. A single run's machine is
    // known to the baseline by no name.
    void SetBaseline(const TBaseline* baseline, bool singleRun = false);

    // One inventory's outcome, in input order, its lines with the meaning
    // and the change the run gave them.
    void Add(TOutcome&& outcome);
    // A machine read back from records, compared here with the baseline.
    void Add(TReportMachine&& machine);
    // Leaves the machine at `index` out of the page: a later record of the
    // same machine replaces it, and takes its place with TakePlace.
    void Drop(std::size_t index);
    void TakePlace(std::size_t index, std::size_t of);
    // The earlier run's machines that this run did not have, as the run
    // found them; a page whose run did not tell them finds them itself.
    void SetMissing(std::vector<TMissingMachine> missing)
    {
        fMissing = std::move(missing);
        fMissingTold = true;
    }

    // Earlier runs, oldest first, whose changes the page shows before this
    // run's.
    void SetHistory(std::vector<THistoryRun> history) { fHistory = std::move(history); }
    // A machine collected longer ago than this is marked stale.
    void SetStaleAfter(double days) { fStaleAfterDays = days; }

    // Writes the page. Answers false with the message when that fails.
    bool Write(const std::string& path, std::string& problem) const;

    // Every machine added, the dropped too; and those the page shows.
    const std::vector<TReportMachine>& Machines() const { return fMachines; }
    std::vector<const TReportMachine*> Shown() const;

private:
    void Compare(TReportMachine& machine) const;
    void Keep(TReportMachine&& machine);

    const TBaseline* fBaseline = nullptr;
    bool fSingleRun = false;
    std::vector<TReportMachine> fMachines;
    std::vector<TMissingMachine> fMissing;
    bool fMissingTold = false;
    std::vector<THistoryRun> fHistory;
    double fStaleAfterDays = 7;
    std::vector<bool> fDropped;
    // Where each machine stands in input order.
    std::vector<std::size_t> fPlaces;
};

// The page's data as JSON: totals, the kinds' titles and advice, the
// machines with their lines, the baseline's machines that are missing, the
// time it was made and hvp-run's version.
TRecord ReportData(const std::vector<const TReportMachine*>& machines, bool compared, const std::string& made,
    const std::vector<TMissingMachine>& missing = {});

// The page's text: the template with the data embedded, escaped so that no
// text of an inventory can end the script element or add markup.
std::string ReportPage(const TRecord& data);

}  // namespace tarvorun
