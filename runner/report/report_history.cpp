#include "report_history.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "jsonl_input.hpp"
#include "jsonl_reader.hpp"
#include "report.hpp"

namespace tarvorun {

namespace {

// What the scheduled run names a run that failed.
constexpr const char* kFailedEnding = ".failed.jsonl";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A summary's count, 0 where it does not tell one.
long long Count(const TRecord& summary, const char* name)
{
    const auto found = summary.find(name);
    return found != summary.end() && found->is_number_integer() ? found->get<long long>() : 0;
}

// A member the summary tells only when it tells it: null otherwise.
TRecord Told(const TRecord& summary, const char* name)
{
    const auto found = summary.find(name);
    return found != summary.end() ? *found : TRecord();
}

// One point of the history: the machines by how their run ended, with the
// completed ones apart by whether they had findings (a failed run that
// logged findings is failed), and the findings.
TRecord Point(
    const std::string& name, const std::string& when, const std::string& failed, const TRecord& summary)
{
    TRecord point{{"name", name}, {"when", when.empty() ? TRecord() : TRecord(when)}};
    if (!failed.empty()) {
        point["failed"] = failed;
        return point;
    }
    const long long completed = Count(summary, "completed");
    const long long withFindings =
        std::max(0LL, Count(summary, "withFindings") - Count(summary, "failedWithFindings"));
    point["machines"] =
        TRecord{{"withFindings", withFindings}, {"clean", std::max(0LL, completed - withFindings)},
            {"failed", Count(summary, "failed")}, {"unreadable", Count(summary, "unreadable")},
            {"crashed", Count(summary, "crashed") + Count(summary, "timedOut")}};
    point["findings"] = TRecord{{"critical", Count(summary, "critical")},
        {"warning", Count(summary, "warning")}, {"info", Count(summary, "info")}};
    point["new"] = Told(summary, "new");
    point["resolved"] = Told(summary, "resolved");
    return point;
}

// A run's records replayed as --from-jsonl replays them, counted as a
// fleet's summary counts its inventories; false where they cannot be.
bool Replayed(const std::string& path, TFleetTotals& totals, bool& compared)
{
    TReport report;
    std::string problem;
    if (!ReadJsonlInputs(
            {path}, nullptr, report, [](const std::string&) {}, problem))
        return false;
    for (const TOutcome* machine : report.Shown())
        totals.Add(*machine);
    compared = report.Compared();
    return true;
}

// The summary of a run's records. A single run's have none: its figures are
// those a fleet's summary gives its one inventory. A fleet's summary does
// not tell the failed runs among those with findings apart, so the replay
// adds them.
TRecord SummaryOf(const std::string& path, bool single, TRecord summary)
{
    TFleetTotals totals;
    bool compared = false;
    if (!Replayed(path, totals, compared))
        return summary;
    if (single)
        summary = totals.SummaryRecord(compared);
    summary["failedWithFindings"] = totals.fFailedWithFindings;
    return summary;
}

}  // namespace

bool ReadHistory(const std::vector<std::string>& files, std::vector<THistoryRun>& runs, std::string& problem)
{
    TJsonlReader reader;
    for (const std::string& path : files) {
        if (std::ifstream(path).fail() || std::filesystem::is_directory(path)) {
            problem = path + ": cannot read the earlier run: " +
                (std::filesystem::is_directory(path) ? std::strerror(EISDIR) : std::strerror(errno));
            return false;
        }
        THistoryRun& run = runs.emplace_back();
        run.fName = BaseName(path);
        // The scheduled run keeps what a failed run wrote, as far as it got.
        if (EndsWith(run.fName, kFailedEnding)) {
            run.fFailed = "the run failed";
            continue;
        }
        std::string broken;
        // A fleet's records name their inventory: a fleet without its
        // summary did not get to its end.
        bool single = true, ran = false;
        const bool read = reader.ReadFile(
            path,
            [&run, &single, &ran](const TRecord& record, const std::string&) {
                const std::string type = record.value("type", "");
                single = single && !record.contains("inventory");
                ran = ran || type == "plugin" || type == "error";
                if (type == "summary")
                    run.fSummary = record;
                const auto at = record.find("collectedAt");
                if (type == "machine" && at != record.end() && at->is_string())
                    run.fWhen = std::max(run.fWhen, at->get<std::string>());
            },
            broken);
        run.fUnreadable = !read;
        const bool summed = run.fSummary.is_object();
        if (read && (summed || (single && ran)))
            run.fSummary = SummaryOf(path, !summed, std::move(run.fSummary));
        if (!read)
            run.fFailed = broken;
        else if (!run.fSummary.is_object())
            run.fFailed = "the run has no summary: it did not get to its end";
    }
    return true;
}

bool HistoryFiles(const std::string& folder, std::vector<std::string>& files, std::string& problem)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
        problem = folder + ": cannot read the folder of earlier runs: " + error.message();
        return false;
    }
    for (const auto& entry : entries)
        if (EndsWith(entry.path().filename().string(), ".jsonl") && entry.is_regular_file(error))
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return true;
}

std::time_t TimeOf(const std::string& text)
{
    std::tm when{};
    const char* rest = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &when);
    if (rest == nullptr)
        return -1;
    if (*rest == '.')
        for (++rest; *rest >= '0' && *rest <= '9'; ++rest) { }
    long offset = 0;
    if ((*rest == '+' || *rest == '-') && std::strlen(rest) == 6 && rest[3] == ':') {
        const int hours = std::atoi(std::string(rest + 1, 2).c_str());
        const int minutes = std::atoi(rest + 4);
        offset = (*rest == '+' ? 1 : -1) * (hours * 3600L + minutes * 60L);
    } else if (std::strcmp(rest, "Z") != 0) {
        return -1;
    }
    return timegm(&when) - offset;
}

void MarkStale(TRecord& data, double days, std::time_t now)
{
    std::size_t stale = 0;
    for (TRecord& machine : data["machines"]) {
        const std::time_t collected = TimeOf(machine.value("collectedAt", ""));
        const bool old = collected >= 0 && std::difftime(now, collected) > days * 86400;
        machine["stale"] = old;
        stale += old ? 1 : 0;
    }
    data["totals"]["stale"] = stale;
    data["staleAfterDays"] = days;
}

TRecord HistoryData(
    const std::vector<THistoryRun>& runs, const TRecord& totals, bool compared, const std::string& made)
{
    TRecord points = TRecord::array();
    for (const THistoryRun& run : runs)
        points.push_back(Point(run.fName, run.fWhen, run.fFailed, run.fSummary));
    // The page's totals count new and resolved as 0 without a baseline: a
    // run that was not compared tells none, as an earlier one's summary.
    TRecord now = totals;
    if (!compared) {
        now.erase("new");
        now.erase("resolved");
    }
    points.push_back(Point("this report", made, std::string(), now));
    return points;
}

}  // namespace tarvorun
