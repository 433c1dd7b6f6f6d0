// The report for people: one self-contained HTML page that leads with what
// matters. The findings by severity and kind, each kind with its title and
// advice from the catalogue; the machines ranked by their worst finding;
// those whose run failed or that could not be read apart, with the reason;
// and, compared with an earlier run, what is new and what was resolved.
//
// The page's script only lays the data out: every meaning (kind, severity,
// the comparison) comes with the outcomes as the run's collector gave it,
// the titles and advice from the catalogue, and all is embedded as JSON.
#pragma once

#include <string>
#include <vector>

#include "json_line.hpp"
#include "outcome.hpp"
#include "report_history.hpp"

namespace tarvorun {

class TReport {
public:
    // Whether the machines were compared with an earlier run.
    void SetCompared(bool compared) { fCompared = compared; }
    bool Compared() const { return fCompared; }

    // One inventory's outcome, in input order, its lines with the meaning
    // and the change the run gave them. Only a run that got to its end
    // shows a comparison.
    void Add(TOutcome&& outcome);
    // Leaves the machine at `index` out of the page: a later record of the
    // same machine replaces it, and takes its place with TakePlace.
    void Drop(std::size_t index);
    void TakePlace(std::size_t index, std::size_t of);
    // The earlier run's machines that this run did not have.
    void SetMissing(std::vector<TMissingMachine> missing) { fMissing = std::move(missing); }

    // Earlier runs, oldest first, whose changes the page shows before this
    // run's.
    void SetHistory(std::vector<THistoryRun> history) { fHistory = std::move(history); }
    // A machine collected longer ago than this is marked stale.
    void SetStaleAfter(double days) { fStaleAfterDays = days; }

    // Writes the page. Answers false with the message when that fails.
    bool Write(const std::string& path, std::string& problem) const;

    // Every machine added, the dropped too; and those the page shows.
    const std::vector<TOutcome>& Machines() const { return fMachines; }
    std::vector<const TOutcome*> Shown() const;
    const std::vector<TMissingMachine>& Missing() const { return fMissing; }

private:
    bool fCompared = false;
    std::vector<TOutcome> fMachines;
    std::vector<TMissingMachine> fMissing;
    std::vector<THistoryRun> fHistory;
    double fStaleAfterDays = 7;
    std::vector<bool> fDropped;
    // Where each machine stands in input order.
    std::vector<std::size_t> fPlaces;
};

// The page's data as JSON: totals, the kinds' titles and advice, the
// machines with their lines, the baseline's machines that are missing, the
// time it was made and hvp-run's version.
TRecord ReportData(const std::vector<const TOutcome*>& machines, bool compared, const std::string& made,
    const std::vector<TMissingMachine>& missing = {});

// The page's text: the template with the data embedded, escaped so that no
// text of an inventory can end the script element or add markup.
std::string ReportPage(const TRecord& data);

}  // namespace tarvorun
