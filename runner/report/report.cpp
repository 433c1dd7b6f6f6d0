// The report's machines and the writing of the page: the template with its
// data embedded.
#include "report.hpp"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "atomic_file.hpp"
#include "report_history.hpp"

namespace tarvorun {

extern const char* const kReportTemplate;

namespace {

const char* const kDataPlace = "\"__REPORT_DATA__\"";

// JSON text that can stand inside a script element: every <, > and & is
// written as its \u escape, which can only occur inside strings, so no text
// can close the element or open a comment.
std::string EscapeForScript(const std::string& json)
{
    std::string safe;
    safe.reserve(json.size());
    for (const char c : json) {
        if (c == '<')
            safe += "\\u003c";
        else if (c == '>')
            safe += "\\u003e";
        else if (c == '&')
            safe += "\\u0026";
        else
            safe += c;
    }
    return safe;
}

// Now, in RFC 3339 UTC.
std::string Now()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

void TReport::Add(TOutcome&& outcome)
{
    if (!RanToItsEnd(outcome.fKind))
        outcome.ForgetComparison();
    fMachines.push_back(std::move(outcome));
    fDropped.push_back(false);
    fPlaces.push_back(fPlaces.size());
}

void TReport::Drop(std::size_t index)
{
    fDropped.at(index) = true;
}

void TReport::TakePlace(std::size_t index, std::size_t of)
{
    fPlaces.at(index) = fPlaces.at(of);
}

std::string ReportPage(const TRecord& data)
{
    // Every character beyond ASCII is written as its \u escape too: the data
    // then holds no control that could reorder text, even unshown.
    const std::string json = data.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
    std::string page = kReportTemplate;
    const std::size_t at = page.find(kDataPlace);
    if (at != std::string::npos)
        page.replace(at, std::strlen(kDataPlace), EscapeForScript(json));
    return page;
}

std::vector<const TOutcome*> TReport::Shown() const
{
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < fMachines.size(); ++i)
        if (!fDropped[i])
            kept.push_back(i);
    std::stable_sort(
        kept.begin(), kept.end(), [this](std::size_t a, std::size_t b) { return fPlaces[a] < fPlaces[b]; });
    std::vector<const TOutcome*> shown;
    for (const std::size_t i : kept)
        shown.push_back(&fMachines[i]);
    return shown;
}

bool TReport::Write(const std::string& path, std::string& problem) const
{
    const std::string made = Now();
    TRecord data = ReportData(Shown(), fCompared, made, fMissing);
    MarkStale(data, fStaleAfterDays, std::time(nullptr));
    data["history"] =
        fHistory.empty() ? TRecord::array() : HistoryData(fHistory, data["totals"], fCompared, made);
    const std::string page = ReportPage(data);
    std::string why;
    if (WriteFileAtomically(path, page, why))
        return true;
    problem = path + ": cannot write the report: " + why;
    return false;
}

}  // namespace tarvorun
