// hvp-run: loads the analysis plug-in as the host does and prints what it
// logs, over an inventory file or the bundled example.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "baseline.hpp"
#include "atomic_file.hpp"
#include "catalogue.hpp"
#include "catalogue_file.hpp"
#include "expected_records.hpp"
#include "fail_each.hpp"
#include "fleet.hpp"
#include "fleet_records.hpp"
#include "inputs.hpp"
#include "jsonl_input.hpp"
#include "live_inventory.hpp"
#include "machine_identity.hpp"
#include "monitor_cli.hpp"
#include "monitoring.hpp"
#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "session.hpp"
#include "single_run.hpp"
#include "terminal_text.hpp"

namespace tarvorun {
extern const char* const kExampleInventory;
}

namespace {

using tarvorun::kExitDiffers;
using tarvorun::kExitException;
using tarvorun::kExitNotLoaded;
using tarvorun::kExitOk;
using tarvorun::kExitUsage;
using tarvorun::TOptions;
using tarvorun::Usage;

const char* const kLiveInventory = "live inventory";

bool WriteReport(tarvorun::TReport& report, const TOptions& options)
{
    report.SetHistory(options.fHistory);
    report.SetStaleAfter(options.fStaleAfterDays);
    const std::string& path = options.fReportPath;
    std::string problem;
    if (report.Write(path, problem))
        return true;
    std::fprintf(stderr, "hvp-run: %s\n", problem.c_str());
    return false;
}

// Records that could not all be written make a run that failed: the files
// it would replace stay as they were, so that neither a report nor the
// metrics present the records that were written as the whole run.
int KeepFilesOfAFailedRun(const TOptions& options)
{
    for (const std::string& path : {options.fReportPath, options.fMonitor.fMetricsPath})
        if (!path.empty())
            std::fprintf(stderr, "hvp-run: %s: left as it was, as the run failed\n",
                tarvorun::ShowOnTerminal(path).c_str());
    return kExitUsage;
}

int RunFromJsonl(const TOptions& options)
{
    tarvorun::TBaseline baseline;
    tarvorun::TReport report;
    std::string problem;
    for (const std::string& file : options.fBaselineFiles)
        if (!baseline.AddFile(file, problem))
            return Usage(problem);
    // A machine given twice is counted once, the later; the person hears of it.
    const auto note = [](const std::string& text) {
        std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(text).c_str());
    };
    const tarvorun::TBaseline* against = options.fBaselineFiles.empty() ? nullptr : &baseline;
    if (!tarvorun::ReadJsonlInputs(options.fJsonlFiles, against, report, note, problem))
        return Usage(problem);
    return WriteReport(report, options) ? kExitOk : kExitUsage;
}

bool IsMany(const TOptions& options)
{
    const auto& inventories = options.fInventories;
    return inventories.size() > 1 ||
        (inventories.size() == 1 &&
            tarvorun::ClassifyArgument(inventories[0]) != tarvorun::EArgumentKind::File);
}

int RunMany(const TOptions& options)
{
    if (!options.fExpectPath.empty())
        return Usage("--expect works with one inventory: it compares a single run's records");
    if (options.fFailEach)
        return Usage("--fail-each works with one inventory: it runs its request once per host call");
    const tarvorun::TFleetSettings& fleet = options.fFleet;
    const tarvorun::TMonitorOptions& monitor = options.fMonitor;
    tarvorun::TReport report;
    report.SetCompared(fleet.fBaseline != nullptr);
    tarvorun::TFleetTotals totals;
    tarvorun::TMonitoredRun monitored;
    monitored.fFleet = true;
    monitored.fCompared = fleet.fBaseline != nullptr;
    int status = kExitOk;
    tarvorun::TSharedMachineIds sharedIds;
    {
        const auto onOutcome = [&](tarvorun::TOutcome&& outcome) {
            if (const auto note = sharedIds.Take(outcome.fName, outcome.fMachineId))
                std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(*note).c_str());
            totals.Add(outcome);
            if (monitor.Active())
                monitored.fMachines.push_back(outcome);
            report.Add(std::move(outcome));
        };
        const auto onMissing = [&](const std::vector<tarvorun::TMissingMachine>& missing) {
            totals.fMissing = missing.size();
            monitored.fMissing = missing;
            report.SetMissing(missing);
        };
        status = tarvorun::RunFleet(fleet, options.fInventories, onOutcome, onMissing);
    }
    if (tarvorun::FailedWriteError() != 0)
        return KeepFilesOfAFailedRun(options);
    if (status != kExitNotLoaded && !options.fReportPath.empty() && !WriteReport(report, options))
        return kExitUsage;
    // Output that went to a file or a pipe tells the person at the terminal
    // nothing: the summary, and where the report went, go to standard error.
    // Records that could not be written are said instead: the summary would
    // count only those written before.
    if (status != kExitNotLoaded && !options.fQuiet && !monitor.fCheck && isatty(STDOUT_FILENO) == 0 &&
        tarvorun::FailedWriteError() == 0) {
        std::fprintf(
            stderr, "hvp-run: %s\n", tarvorun::SummaryLine(totals, fleet.fBaseline != nullptr).c_str());
        if (!options.fReportPath.empty())
            std::fprintf(stderr, "hvp-run: report written to %s\n",
                tarvorun::ShowOnTerminal(options.fReportPath).c_str());
    }
    if (!monitor.Active())
        return status;
    if (status == kExitNotLoaded && monitored.fMachines.empty()) {
        tarvorun::TOutcome unloaded;
        unloaded.fKind = tarvorun::ERunEnd::NotLoaded;
        unloaded.fMessage = "see standard error";
        monitored.fMachines.push_back(std::move(unloaded));
    }
    return tarvorun::FinishMonitoring(monitor, monitored, status);
}

// What --expect makes of a single run's records: the file written anew,
// or the records compared with it.
int Expected(const TOptions& options, const std::string& records, const tarvorun::TSingleEnd& end)
{
    if (end.fNotLoaded)
        return end.fStatus;
    std::string said;
    if (options.fExpectUpdate) {
        if (!tarvorun::WriteFileAtomically(options.fExpectPath, records, said))
            return Usage(options.fExpectPath + ": cannot write the expected records: " + said);
        return end.fStatus;
    }
    switch (tarvorun::CompareWithExpected(options.fExpectPath, records, said)) {
    case tarvorun::EExpected::Unreadable:
        return Usage(said);
    case tarvorun::EExpected::Differs:
        std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(said).c_str());
        return kExitDiffers;
    case tarvorun::EExpected::Equal:
        break;
    }
    return kExitOk;
}

// The one inventory of a single run: a file, standard input, the bundled
// example or this machine's collection.
tarvorun::TInventoryInput SingleInput(const TOptions& options)
{
    const std::string path = options.fInventories.empty() ? std::string() : options.fInventories[0];
    tarvorun::TInventoryInput input;
    input.fName = options.fLive ? std::string(kLiveInventory)
        : path.empty()          ? std::string("example inventory")
                                : path;
    input.fSource = input.fName;
    input.fLive = options.fLive;
    if (!options.fLive && path.empty())
        input.fText = tarvorun::kExampleInventory;
    else if (!options.fLive)
        input.fPath = path;
    return input;
}

int RunSingle(const TOptions& options)
{
    const tarvorun::TMonitorOptions& monitor = options.fMonitor;
    const tarvorun::TInventoryInput input = SingleInput(options);
    tarvorun::TFleetSettings settings = options.fFleet;
    settings.fSingle = true;
    settings.fCollectLive = [] { return tarvorun::CollectLiveInventory(); };
    if (options.fFailEach)
        return tarvorun::RunFailEach(settings, input);
    // A check prints only its own lines, after the run: the run makes no
    // records (PlanRun). With --expect the records are kept to compare, in
    // jsonl.
    tarvorun::TOutcome outcome;
    std::string records;
    const bool expecting = !options.fExpectPath.empty();
    const tarvorun::TTextOut print = expecting
        ? tarvorun::TTextOut([&records](const std::string& text) { records += text; })
        : tarvorun::TTextOut(tarvorun::WriteOut);
    const tarvorun::TSingleEnd end = tarvorun::RunSingleInWorker(settings, input, print, outcome);
    if (expecting)
        return Expected(options, records, end);
    // Records that could not be written leave the files of the run as
    // they were.
    if (end.fUnwritten)
        return KeepFilesOfAFailedRun(options);
    if (!end.fNotLoaded && !options.fReportPath.empty()) {
        tarvorun::TReport report;
        report.SetCompared(options.fFleet.fBaseline != nullptr);
        report.Add(tarvorun::TOutcome(outcome));
        if (!WriteReport(report, options))
            return kExitUsage;
    }
    const int status = end.fStatus;
    if (!monitor.Active())
        return status;
    tarvorun::TMonitoredRun monitored;
    monitored.fCompared = options.fFleet.fBaseline != nullptr;
    if (end.fNotLoaded) {
        outcome.fKind = tarvorun::ERunEnd::NotLoaded;
        outcome.fMessage = end.fLoadProblem;
    }
    monitored.fMachines.push_back(std::move(outcome));
    return tarvorun::FinishMonitoring(monitor, monitored, status);
}

}  // namespace

int main(int argc, char** argv)
{
    TOptions options;
    if (const int status = tarvorun::ParseCommandLine(argc, argv, options); status >= 0)
        return status;
    std::vector<std::string> history = options.fHistoryFiles;
    if (!options.fHistoryDir.empty()) {
        std::string problem;
        if (!tarvorun::HistoryFiles(options.fHistoryDir, history, problem))
            return Usage(problem);
    }
    if (std::string problem; !tarvorun::ReadHistory(history, options.fHistory, problem))
        return Usage(problem);
    for (const tarvorun::THistoryRun& run : options.fHistory)
        if (run.fUnreadable)
            std::fprintf(stderr, "hvp-run: %s; the page shows that run as one that failed\n",
                tarvorun::ShowOnTerminal(run.fFailed).c_str());
    if (!options.fCataloguePath.empty()) {
        std::vector<tarvorun::TFindingKind> kinds;
        std::string problem;
        if (!tarvorun::ReadCatalogueFile(options.fCataloguePath, kinds, problem))
            return Usage(problem);
        tarvorun::UseFindingKinds(std::move(kinds));
    }
    // The catalogue's table is made now, before any worker is forked,
    // rather than in each of them.
    tarvorun::FindingKinds();
    if (!options.fJsonlFiles.empty())
        return RunFromJsonl(options);
    tarvorun::TBaseline baseline;
    for (const std::string& file : options.fBaselineFiles) {
        std::string problem;
        if (!baseline.AddFile(file, problem))
            return Usage(problem);
    }
    if (!options.fBaselineFiles.empty())
        options.fFleet.fBaseline = &baseline;
    if (baseline.LacksExamined())
        std::fprintf(stderr,
            "hvp-run: the baseline has no examined records (an older hvp-run's): disks and controllers "
            "are not compared with it\n");
    tarvorun::SetInventorySizeLimit(options.fMaxInventorySize);
    if (IsMany(options))
        return RunMany(options);
    // In a single run, what the stand-in warns of while the plug-in loads
    // goes to standard error; a fleet's worker keeps its standard error
    // for stray output.
    options.fFleet.fRun.fWarn = [](const std::string&) {};
    return RunSingle(options);
}
