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

#include "background_sink.hpp"
#include "baseline.hpp"
#include "catalogue.hpp"
#include "fleet.hpp"
#include "inputs.hpp"
#include "jsonl_input.hpp"
#include "live_inventory.hpp"
#include "machine_identity.hpp"
#include "monitor_cli.hpp"
#include "monitoring.hpp"
#include "options.hpp"
#include "output.hpp"
#include "record_stream.hpp"
#include "report.hpp"
#include "run_collector.hpp"
#include "session.hpp"
#include "terminal_text.hpp"

namespace tarvorun {
extern const char* const kExampleInventory;
}

namespace {

using tarvorun::kExitException;
using tarvorun::kExitNotLoaded;
using tarvorun::kExitOk;
using tarvorun::kExitUsage;
using tarvorun::TOptions;
using tarvorun::Usage;

// Loads the one inventory of a single run: as before for standard input and
// plain files, decompressed first for a gzip or zstd file.
std::shared_ptr<const tarvorun::TInventory> LoadSingle(const std::string& path)
{
    if (path.empty())
        return tarvorun::TInventory::LoadText(tarvorun::kExampleInventory, "example inventory");
    return tarvorun::LoadInventoryFile(path);
}

const char* const kLiveInventory = "live inventory";

// Collects this machine's inventory in memory, as hvp-collect writes it. A
// source that could not be read is named on standard error, and the run goes
// on over what was collected, as it would over hvp-collect's partial file.
std::shared_ptr<const tarvorun::TInventory> LoadLive()
{
    return tarvorun::TInventory::LoadText(tarvorun::CollectLiveInventory(), kLiveInventory);
}

// What the collector counted of a single run, as its outcome.
void TakeCollected(tarvorun::TCollected& run, tarvorun::TOutcome& outcome)
{
    outcome.fHostname = run.fHostname;
    outcome.fMachineId = run.fMachineId;
    outcome.fPartial = !run.fProblems.empty();
    outcome.fPartialProblems = run.fProblems;
    outcome.fFindings = run.fFindings;
    outcome.fSeverities = run.fSeverities;
    outcome.fLogs = std::move(run.fLogs);
    if (run.fFailed) {
        outcome.fKind = tarvorun::ERunEnd::Failed;
        outcome.fFailure = run.fFailure;
    }
}

bool WriteReport(const tarvorun::TReport& report, const std::string& path)
{
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
    if (!options.fBaselineFiles.empty())
        report.SetBaseline(&baseline);
    // A machine given twice is counted once, the later; the person hears of it.
    const auto note = [](const std::string& text) {
        std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(text).c_str());
    };
    if (!tarvorun::ReadJsonlInputs(options.fJsonlFiles, report, note, problem))
        return Usage(problem);
    return WriteReport(report, options.fReportPath) ? kExitOk : kExitUsage;
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
    const tarvorun::TFleetSettings& fleet = options.fFleet;
    const tarvorun::TMonitorOptions& monitor = options.fMonitor;
    tarvorun::TReport report;
    report.SetBaseline(fleet.fBaseline);
    tarvorun::TFleetTotals totals;
    tarvorun::TMonitoredRun monitored;
    monitored.fFleet = true;
    int status = kExitOk;
    tarvorun::TSharedMachineIds sharedIds;
    {
        // A check prints its own lines only.
        tarvorun::TQuietStdout quiet(monitor.fCheck);
        status = tarvorun::RunFleet(fleet, options.fInventories, [&](tarvorun::TOutcome&& outcome) {
            if (const auto note = sharedIds.Take(outcome.fName, outcome.fMachineId))
                std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(*note).c_str());
            totals.Add(outcome);
            if (monitor.Active())
                monitored.fMachines.push_back(tarvorun::FromOutcome(outcome));
            report.Add(std::move(outcome));
        });
    }
    if (tarvorun::FailedWriteError() != 0)
        return KeepFilesOfAFailedRun(options);
    if (status != kExitNotLoaded && !options.fReportPath.empty() && !WriteReport(report, options.fReportPath))
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
    if (status == kExitNotLoaded && monitored.fMachines.empty())
        monitored.fMachines.push_back(
            {"", "", tarvorun::ERunEnd::NotLoaded, "see standard error", {}, false});
    return tarvorun::FinishMonitoring(monitor, monitored, status);
}

int RunSingle(const TOptions& options)
{
    const tarvorun::TMonitorOptions& monitor = options.fMonitor;
    tarvorun::TMonitoredRun monitored;
    const std::string path = options.fInventories.empty() ? std::string() : options.fInventories[0];
    tarvorun::TReport report;
    report.SetBaseline(options.fFleet.fBaseline, true);
    tarvorun::TOutcome outcome;
    outcome.fName = options.fLive ? std::string(kLiveInventory)
        : path.empty()            ? std::string("example inventory")
                                  : path;
    std::shared_ptr<const tarvorun::TInventory> inventory;
    try {
        inventory = options.fLive ? LoadLive() : LoadSingle(path);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(failure.what()).c_str());
        monitored.fMachines.push_back(
            {outcome.fName, "", tarvorun::ERunEnd::Unreadable, failure.what(), {}, false});
        if (!options.fReportPath.empty()) {
            outcome.fKind = tarvorun::ERunEnd::Unreadable;
            outcome.fMessage = failure.what();
            report.Add(std::move(outcome));
            WriteReport(report, options.fReportPath);
        }
        return monitor.Active() ? tarvorun::FinishMonitoring(monitor, monitored, kExitUsage) : kExitUsage;
    }
    // The records go through a descriptor of their own, so that what the
    // plug-in writes to standard output cannot land among them. A check
    // prints only its own lines, after the run, on standard output.
    std::FILE* const records = monitor.fCheck ? stdout : tarvorun::OpenRecordStream();
    std::unique_ptr<tarvorun::TFormSink> sink;
    if (monitor.fCheck)
        // A check prints its own lines only; the records go nowhere.
        sink.reset(new tarvorun::TJsonlSink([](const std::string&) {}, std::string()));
    else if (options.fFleet.fJsonl)
        sink.reset(new tarvorun::TJsonlSink(records));
    else
        sink.reset(new tarvorun::TTextSink(records, stderr, options.fFleet.fRun.fRequests, options.fQuiet));
    tarvorun::TRunCollector collector(
        *sink, options.fFleet.fBaseline, std::string(), options.fFleet.fKeepLogs);
    tarvorun::TRunResult result;
    {
        // The lines are classified, formatted and written on a second thread
        // while the plug-in goes on.
        tarvorun::TBackgroundLogSink background(collector);
        // A plug-in that ends the process meanwhile must not pass for a
        // clean run.
        tarvorun::TRunGuard guard(outcome.fName, kExitUsage);
        result = tarvorun::RunPlugin(options.fFleet.fRun, inventory, background);
        background.Drain();
        if (const std::string note = guard.End(); !note.empty())
            std::fprintf(stderr, "hvp-run: %s\n", note.c_str());
    }
    if (result.fStatus != tarvorun::ERunStatus::NotLoaded)
        collector.Finish();
    TakeCollected(collector.Collected(), outcome);
    std::string unwritten;
    if (records != stdout && !tarvorun::CloseRecordStream(records, unwritten)) {
        std::fprintf(stderr, "hvp-run: %s\n", unwritten.c_str());
        return KeepFilesOfAFailedRun(options);
    }
    if (monitor.Active()) {
        tarvorun::TMachineRun machine = tarvorun::FromOutcome(outcome);
        if (result.fStatus == tarvorun::ERunStatus::NotLoaded) {
            machine.fEnd = tarvorun::ERunEnd::NotLoaded;
            machine.fMessage = result.fLoadProblem;
        }
        monitored.fMachines.push_back(std::move(machine));
    }
    if (!options.fReportPath.empty() && result.fStatus != tarvorun::ERunStatus::NotLoaded) {
        report.Add(std::move(outcome));
        if (!WriteReport(report, options.fReportPath))
            return kExitUsage;
    }
    int status = result.fStatus == tarvorun::ERunStatus::Failed ? kExitException : kExitOk;
    if (result.fStatus == tarvorun::ERunStatus::NotLoaded) {
        std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(result.fLoadProblem).c_str());
        status = kExitNotLoaded;
    }
    return monitor.Active() ? tarvorun::FinishMonitoring(monitor, monitored, status) : status;
}

}  // namespace

int main(int argc, char** argv)
{
    TOptions options;
    if (const int status = tarvorun::ParseCommandLine(argc, argv, options); status >= 0)
        return status;
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
    tarvorun::SetInventorySizeLimit(options.fMaxInventorySize);
    if (IsMany(options))
        return RunMany(options);
    // In a single run, a plug-in that crashes while it loads is one that
    // cannot be loaded, and what the stand-in warns of while it loads goes
    // to standard error; a fleet's worker keeps its standard error for stray
    // output.
    options.fFleet.fRun.fLoadCrashStatus = kExitNotLoaded;
    options.fFleet.fRun.fWarn = [plugin = options.fFleet.fRun.fPluginPath](const std::string& warning) {
        std::fprintf(
            stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(plugin + ": warning: " + warning).c_str());
    };
    return RunSingle(options);
}
