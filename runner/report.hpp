// The report for people: one self-contained HTML page with the totals, the
// findings by kind as a chart, the machines ranked by findings with their
// lines, and the inventories that could not be read or run.
#pragma once

#include <string>
#include <vector>

#include "fleet.hpp"

namespace tarvorun {

class TReport {
public:
    // One inventory's outcome, in input order.
    void Add(TOutcome&& outcome);

    // The inventories of a JSONL file that hvp-run wrote, one run or many.
    // Answers false with a message naming the file and the line when it
    // cannot be read or a line is not such a record.
    bool AddJsonl(const std::string& path, std::string& problem);

    // Writes the page. Answers false with the message when that fails.
    bool Write(const std::string& path, std::string& problem) const;

    const std::vector<TOutcome>& Outcomes() const { return fOutcomes; }

private:
    std::vector<TOutcome> fOutcomes;
};

// The page's text: the template with the data embedded, escaped so that no
// text of an inventory can end the script element or add markup.
std::string ReportPage(const std::vector<TOutcome>& outcomes);

}  // namespace tarvorun
