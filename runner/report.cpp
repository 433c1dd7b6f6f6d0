#include "report.hpp"

#include "atomic_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "json_line.hpp"
#include "output.hpp"

namespace tarvorun {

extern const char* const kReportTemplate;

namespace {

const char* const kDataPlace = "\"__REPORT_DATA__\"";

const char* OutcomeName(EOutcome kind)
{
    switch (kind) {
    case EOutcome::Completed:
        return "completed";
    case EOutcome::Failed:
        return "failed";
    case EOutcome::Unreadable:
        return "unreadable";
    case EOutcome::Crashed:
        return "crashed";
    case EOutcome::TimedOut:
        return "timedOut";
    }
    return "completed";
}

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

// Starts a new inventory in the list, or goes on with the last one when the
// record names it too.
TOutcome& Current(std::vector<TOutcome>& outcomes, bool& open, const std::string& name)
{
    if (!open || outcomes.back().fName != name) {
        outcomes.emplace_back();
        outcomes.back().fName = name;
        open = true;
    }
    return outcomes.back();
}

}  // namespace

void TReport::Add(TOutcome&& outcome)
{
    fOutcomes.push_back(std::move(outcome));
}

bool TReport::AddJsonl(const std::string& path, std::string& problem)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    bool open = false;
    std::size_t lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (line.empty())
            continue;
        const std::string place = path + ": line " + std::to_string(lineNumber) + ": ";
        nlohmann::json record;
        try {
            record = nlohmann::json::parse(line);
        } catch (const nlohmann::json::exception& failure) {
            problem = place + "not a JSON record: " + failure.what();
            return false;
        }
        if (!record.is_object() || !record.contains("type") || !record["type"].is_string()) {
            problem = place + "not a record of hvp-run: it has no \"type\"";
            return false;
        }
        try {
            const std::string type = record["type"].get<std::string>();
            static const char* const kTypes[] = {
                "plugin", "request", "log", "call", "assertion", "exception", "error", "summary"};
            if (std::find(std::begin(kTypes), std::end(kTypes), type) == std::end(kTypes)) {
                problem = place + "not a record of hvp-run: no record has the type \"" + type + "\"";
                return false;
            }
            if (type == "summary") {
                open = false;
                continue;
            }
            const std::string name =
                record.contains("inventory") ? record["inventory"].get<std::string>() : path;
            TOutcome& outcome = Current(fOutcomes, open, name);
            if (type == "log") {
                const int level = record.at("level").get<int>();
                outcome.fFindings += level == 100 ? 1 : 0;
                outcome.fLogs.emplace_back(level, record.at("text").get<std::string>());
            } else if (type == "exception") {
                TFailure failure;
                failure.fKind = record.at("kind").get<std::string>();
                failure.fStatus = record.value("status", 0u);
                failure.fWhat = record.value("what", std::string());
                outcome.fKind = EOutcome::Failed;
                outcome.fFailure = FailureText(failure);
            } else if (type == "error") {
                outcome.fMessage = record.at("message").get<std::string>();
                outcome.fKind = KindOfErrorMessage(name, outcome.fMessage);
            }
        } catch (const nlohmann::json::exception& failure) {
            problem = place + "a member is missing or of the wrong kind: " + failure.what();
            return false;
        }
    }
    if (in.bad()) {
        problem = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ReportPage(const std::vector<TOutcome>& outcomes)
{
    TFleetTotals totals;
    TRecord list = TRecord::array();
    for (const TOutcome& outcome : outcomes) {
        totals.Add(outcome);
        TRecord lines = TRecord::array();
        for (const auto& line : outcome.fLogs)
            lines.push_back(TRecord::array({line.first, line.second}));
        list.push_back(TRecord{{"name", outcome.fName}, {"outcome", OutcomeName(outcome.fKind)},
            {"message", outcome.fMessage}, {"failure", outcome.fFailure}, {"findings", outcome.fFindings},
            {"lines", std::move(lines)}});
    }
    const TRecord data{{"totals",
                           TRecord{{"inventories", totals.fInventories}, {"completed", totals.fCompleted},
                               {"withFindings", totals.fWithFindings}, {"failed", totals.fFailed},
                               {"unreadable", totals.fUnreadable}, {"crashed", totals.fCrashed},
                               {"timedOut", totals.fTimedOut}}},
        {"inventories", std::move(list)}};
    std::string json = data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string page = kReportTemplate;
    const std::size_t at = page.find(kDataPlace);
    if (at != std::string::npos)
        page.replace(at, std::strlen(kDataPlace), EscapeForScript(json));
    return page;
}

bool TReport::Write(const std::string& path, std::string& problem) const
{
    const std::string page = ReportPage(fOutcomes);
    std::string why;
    if (WriteFileAtomically(path, page, why))
        return true;
    problem = path + ": cannot write the report: " + why;
    return false;
}

}  // namespace tarvorun
