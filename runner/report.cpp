// The report's machines, the comparison with an earlier run of those read
// back from records, and the writing of the page: the template with its
// data embedded.
#include "report.hpp"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "atomic_file.hpp"
#include "catalogue.hpp"
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

// The counts of the outcome told again from its lines, so that the totals
// of the page are those of what it shows.
void Recount(TReportMachine& machine)
{
    TOutcome& outcome = machine.fOutcome;
    outcome.fFindings = 0;
    outcome.fSeverities = TSeverityCounts();
    outcome.fNew = 0;
    for (const TReportLine& line : machine.fLines) {
        outcome.fFindings += line.fLevel == 100 ? 1 : 0;
        ESeverity severity = ESeverity::Warning;
        SeverityOfName(line.fSeverity, severity);
        if (const TFindingKind* kind = line.fSeverity.empty() ? FindKind(line.fKind) : nullptr)
            severity = kind->fSeverity;
        outcome.fSeverities.Add(line.fLevel, severity);
        outcome.fNew += line.fChange == "new" ? 1 : 0;
    }
    outcome.fResolved = machine.fResolved.size();
    outcome.fPartial = outcome.fPartial || !machine.fProblems.empty();
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

void TReport::SetBaseline(const TBaseline* baseline, bool singleRun)
{
    fBaseline = baseline;
    fSingleRun = singleRun;
}

void TReport::Add(TOutcome&& outcome)
{
    // The lines come with the meaning the run's collector gave them, and
    // with a baseline their change: nothing is classified or compared
    // again. Only a run that got to its end is compared, as it is in the
    // records.
    const bool compared = fBaseline != nullptr && RanToItsEnd(outcome.fKind);
    TReportMachine machine;
    machine.fBaselineName = fSingleRun ? std::string() : outcome.fName;
    if (outcome.fExamined)
        machine.fExamined = ExaminedMembers(*outcome.fExamined);
    for (TKeptLine& line : outcome.fLines) {
        const bool about = line.fSubject && outcome.fExamined;
        machine.fLines.push_back(TReportLine{line.fLevel, std::move(line.fText), std::move(line.fKind),
            std::string(SeverityName(line.fSeverity)), std::move(line.fFields),
            compared ? std::move(line.fChange) : std::string(),
            about ? SubjectObject(*outcome.fExamined, *line.fSubject) : TRecord(),
            compared ? line.fWas : std::nullopt});
    }
    outcome.fLines.clear();
    if (compared)
        machine.fResolved = std::move(outcome.fGone);
    else
        outcome.fChanges.clear();
    outcome.fGone.clear();
    machine.fCompared = fBaseline != nullptr;
    machine.fProblems = outcome.fPartialProblems;
    machine.fOutcome = std::move(outcome);
    Keep(std::move(machine));
}

void TReport::Add(TReportMachine&& machine)
{
    if (fBaseline != nullptr)
        Compare(machine);
    Keep(std::move(machine));
}

void TReport::Keep(TReportMachine&& machine)
{
    Recount(machine);
    fMachines.push_back(std::move(machine));
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

void TReport::Compare(TReportMachine& machine) const
{
    machine.fResolved.clear();
    for (TReportLine& line : machine.fLines) {
        line.fChange.clear();
        line.fWas.reset();
    }
    machine.fOutcome.fChanges.clear();
    machine.fCompared = true;
    if (!RanToItsEnd(machine.fOutcome.fKind))
        return;
    const TBaselineMachine* old = fBaseline->Find(machine.fBaselineName, machine.fOutcome.fRelative,
        machine.fOutcome.fHostname, machine.fOutcome.fMachineId);
    TBaselineTracker tracker(old);
    for (TReportLine& line : machine.fLines)
        if (IsFindingLevel(line.fLevel)) {
            const TLineChange change =
                tracker.Take(line.fKind, line.fText, SubjectKey(line.fSubject), CountOf(line.fFields));
            line.fChange = change.fWord;
            line.fWas = change.fWas;
        }
    machine.fResolved = tracker.Gone();
    const TRecord& examined = machine.fExamined;
    if (old != nullptr && old->fDevices && examined.is_object())
        machine.fOutcome.fChanges = CompareDevices(*old->fDevices,
            TEarlierDevices{
                examined.value("controllers", TRecord::array()), examined.value("disks", TRecord::array())});
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

std::vector<const TReportMachine*> TReport::Shown() const
{
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < fMachines.size(); ++i)
        if (!fDropped[i])
            kept.push_back(i);
    std::stable_sort(
        kept.begin(), kept.end(), [this](std::size_t a, std::size_t b) { return fPlaces[a] < fPlaces[b]; });
    std::vector<const TReportMachine*> shown;
    for (const std::size_t i : kept)
        shown.push_back(&fMachines[i]);
    return shown;
}

bool TReport::Write(const std::string& path, std::string& problem) const
{
    const std::vector<const TReportMachine*> shown = Shown();
    bool compared = fBaseline != nullptr;
    for (const TReportMachine* machine : shown)
        compared = compared || machine->fCompared;
    std::vector<TMissingMachine> missing = fMissing;
    if (fBaseline != nullptr && !fSingleRun && !fMissingTold) {
        std::set<const TBaselineMachine*> found;
        for (const TReportMachine* machine : shown)
            found.insert(fBaseline->Find(machine->fBaselineName, machine->fOutcome.fRelative,
                machine->fOutcome.fHostname, machine->fOutcome.fMachineId));
        missing = fBaseline->Missing(found);
    }
    const std::string made = Now();
    TRecord data = ReportData(shown, compared, made, missing);
    MarkStale(data, fStaleAfterDays, std::time(nullptr));
    data["history"] = fHistory.empty() ? TRecord::array() : HistoryData(fHistory, data["totals"], made);
    const std::string page = ReportPage(data);
    std::string why;
    if (WriteFileAtomically(path, page, why))
        return true;
    problem = path + ": cannot write the report: " + why;
    return false;
}

}  // namespace tarvorun
