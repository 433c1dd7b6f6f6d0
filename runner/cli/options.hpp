// hvp-run's command line: every option declared once, with its range and
// its group in the help, parsed into one plain structure, with the run's
// settings derived from it once, that the rest of hvp-run reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exit_status.hpp"
#include "fleet.hpp"
#include "inventory.hpp"
#include "monitor_cli.hpp"
#include "report_history.hpp"

namespace CLI {
class App;
}

namespace tarvorun {

// Everything the command line says, parsed. `fFleet` is the plan of the
// run, derived from the rest: what a single run and the fleet both follow.
struct TOptions {
    TRunSettings fRun;
    TFleetSettings fFleet;
    std::vector<std::string> fInventories;
    std::string fReportPath;
    std::vector<std::string> fJsonlFiles;
    std::vector<std::string> fBaselineFiles;
    std::string fFormat = "text";
    std::uint64_t fMaxInventorySize = TInventory::kDefaultMaxBytes;
    bool fLive = false;
    bool fQuiet = false;
    // --expect: the file a single run's records are compared with, or
    // written to with --expect-update.
    std::string fExpectPath;
    bool fExpectUpdate = false;
    // --fail-each: run the request once per host call, failing each.
    bool fFailEach = false;
    // --history and --history-dir: earlier runs the report shows the
    // changes of, read before anything runs.
    std::vector<std::string> fHistoryFiles;
    std::string fHistoryDir;
    std::vector<THistoryRun> fHistory;
    // --stale-after: the age in days past which the report marks a
    // machine's inventory stale.
    double fStaleAfterDays = 7;
    // --catalogue: the kinds of another plug-in's lines.
    std::string fCataloguePath;
    TMonitorOptions fMonitor;
};

// Declares the options of a plug-in's test harness into `app`, parsed into
// `options` (harness_options.cpp).
void DeclareHarnessOptions(CLI::App& app, TOptions& options);

// Parses the command line into `options`. Answers -1 when hvp-run is to
// run; otherwise the exit status, after the help or the version was
// printed, or what is wrong was said on standard error.
int ParseCommandLine(int argc, char** argv, TOptions& options);

// Says a problem of usage on standard error; answers kExitUsage.
int Usage(const std::string& problem);

}  // namespace tarvorun
