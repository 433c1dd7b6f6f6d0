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
#include "monitor_cli.hpp"
#include "monitoring.hpp"
#include "output.hpp"
#include "record_stream.hpp"
#include "report.hpp"
#include "session.hpp"
#include "terminal_text.hpp"

namespace tarvorun {
extern const char* const kExampleInventory;
}

namespace {

enum EExitStatus { kExitOk = 0, kExitException = 1, kExitUsage = 2, kExitNotLoaded = 3 };

const char* const kDescription =
    "Load the analysis plug-in as the diagnostic host does, run its requests over an inventory, "
    "and print every line it logs.\n\n"
    "INVENTORY is a JSON inventory file, or - for standard input; without one the bundled "
    "example inventory is used. Files compressed with gzip or zstd are recognised by their content.\n\n"
    "Many inventories in one call: give several, or a folder (every *.json, *.json.gz and *.json.zst "
    "under it, in byte order of their relative paths), or an archive (.tar, .tar.gz, .tgz, .tar.zst, "
    ".zip: its regular files, in archive order). Each runs in a worker process of its own that loads "
    "the plug-in afresh; records are grouped per inventory, in input order, and a summary ends the "
    "output.";

const char* const kFooter =
    "Exit status:\n"
    "  0  every request ran, whatever it logged\n"
    "  1  a GetData call ended with an exception\n"
    "  2  bad usage, or an inventory that cannot be read (with many: or that\n"
    "     crashed or timed out; the others still run)\n"
    "  3  the plug-in could not be loaded, or it did not register\n\n"
    "Examples:\n"
    "  hvp-run                            run over the bundled example\n"
    "  hvp-run --format jsonl --trace inv.json\n"
    "  hvp-run --classes A,QXRSG_TARVOHeavyHittersAnalysis --requests 2 inv.json\n"
    "  hvp-run --format jsonl --jobs 4 --timeout 60 --report fleet.html inventories/\n"
    "  hvp-run --report all.html --from-jsonl site-a.jsonl site-b.jsonl";

std::vector<std::string> SplitClassList(const std::string& text)
{
    std::vector<std::string> names;
    if (text.empty())
        return names;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type comma = text.find(',', start);
        names.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return names;
        start = comma + 1;
    }
}

unsigned DefaultJobs()
{
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    return processors > 0 ? static_cast<unsigned>(processors) : 1u;
}

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

// Keeps what a single run logs, for its report.
class TCollectingSink : public tarvorun::IRunSink {
public:
    TCollectingSink(tarvorun::IRunSink& inner, tarvorun::TOutcome& outcome) : fInner(inner), fOutcome(outcome)
    {
    }
    void OnMachine(const tarvorun::TMachineIdentity& identity) override
    {
        fInner.OnMachine(identity);
        fOutcome.fHostname = identity.Hostname();
        fOutcome.fMachineId = identity.MachineId();
        fOutcome.fPartial = !identity.fProblems.empty();
    }
    void OnPlugin(const tarvorun::TIdentity& identity) override { fInner.OnPlugin(identity); }
    void OnRequest(int number) override { fInner.OnRequest(number); }
    void OnLog(int level, const std::string& text) override
    {
        fInner.OnLog(level, text);
        fOutcome.fFindings += level == 100 ? 1 : 0;
        fOutcome.fSeverities.Add(level, tarvorun::Classify(level, text).fSeverity);
        fOutcome.fLogs.emplace_back(level, text);
    }
    void OnCall(const tarvorun::THostCall& call) override { fInner.OnCall(call); }
    void OnAssertion(const tarvorun::TAssertionReport& report) override { fInner.OnAssertion(report); }
    void OnFailure(const tarvorun::TFailure& failure) override
    {
        fInner.OnFailure(failure);
        fOutcome.fKind = tarvorun::EOutcome::Failed;
        fOutcome.fFailure = tarvorun::FailureText(failure);
    }

private:
    tarvorun::IRunSink& fInner;
    tarvorun::TOutcome& fOutcome;
};

// Why the report cannot be written at `path`, or nothing: the file must be
// writable where it is, or creatable in its folder.
std::string ReportPathProblem(const std::string& path)
{
    if (path.empty())
        return "--report: an empty path names no file";
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return path + ": cannot write the report: " + std::strerror(EISDIR);
        return access(path.c_str(), W_OK) == 0 ? std::string()
                                               : path + ": cannot write the report: " + std::strerror(errno);
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return path + ": cannot write the report: " + std::strerror(errno);
    return std::string();
}

bool WriteReport(const tarvorun::TReport& report, const std::string& path)
{
    std::string problem;
    if (report.Write(path, problem))
        return true;
    std::fprintf(stderr, "hvp-run: %s\n", problem.c_str());
    return false;
}

// Everything the command line says, parsed.
struct TOptions {
    tarvorun::TRunSettings fRun;
    tarvorun::TFleetSettings fFleet;
    std::vector<std::string> fInventories;
    std::string fReportPath;
    std::vector<std::string> fJsonlFiles;
    std::vector<std::string> fBaselineFiles;
    std::string fFormat = "text";
    std::uint64_t fMaxInventorySize = tarvorun::TInventory::kDefaultMaxBytes;
    bool fReportGiven = false;
    bool fLive = false;
    bool fQuiet = false;
    tarvorun::TMonitorOptions fMonitor;
};

// The one longest --timeout: a week, far below where a count of clock
// ticks could overflow.
constexpr double kLongestTimeout = 7 * 24 * 3600;
// No inventory is larger than 2 GiB, whatever the option says.
constexpr std::uint64_t kLargestInventory = std::uint64_t(2) << 30;

// Declares every option on `app`, administrators' first, into `options`.
void DeclareOptions(CLI::App& app, TOptions& options, std::string& classList)
{
    app.add_option(
           "INVENTORY", options.fInventories, "Inventory files, - for standard input, folders or archives")
        ->type_name("");
    app.add_flag("--live", options.fLive,
        "Run over this machine's inventory, as the hvp-collect beside hvp-run collects it");
    app.add_option("--jobs", options.fFleet.fJobs,
           "With many inventories: how many run at once, 1 to 4096 (default: the processors)")
        ->type_name("N")
        ->check(CLI::Range(1u, 4096u).description(""));
    app.add_option("--report", options.fReportPath, "Also write an HTML page of the findings for people")
        ->type_name("FILE.html");
    // One file an occurrence, so that the inventories after it stay theirs.
    app.add_option_function<std::string>(
           "--baseline", [&options](const std::string& file) { options.fBaselineFiles.push_back(file); },
           "Compare with an earlier run's jsonl output: mark each finding new or same, list what was "
           "resolved "
           "(again for several outputs, merged)")
        ->type_name("OLD.jsonl")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Validator oneOfTheForms = CLI::IsMember({"text", "jsonl"});
    oneOfTheForms.description("");
    app.add_option(
           "--format", options.fFormat, "Output form: text for a person, jsonl for programs (default: text)")
        ->type_name("FORMAT")
        ->check(oneOfTheForms);
    tarvorun::AddMonitorOptions(app, options.fMonitor);
    app.add_flag("--quiet", options.fQuiet,
        "Print only findings and problems: no request or machine lines, no summary on standard error");
    app.add_option("--timeout", options.fFleet.fTimeoutSeconds,
           "With many inventories: the longest one inventory's run may take, above 0 and at most 604800 "
           "(a week) (default: no limit)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::size_t used = 0;
                try {
                    const double seconds = std::stod(text, &used);
                    if (used == text.size() && seconds > 0 && seconds <= kLongestTimeout)
                        return std::string();
                } catch (const std::exception&) {
                }
                return "must be a number of seconds above 0 and at most 604800, not \"" + text + "\"";
            },
            ""));
    app.add_option("--memory-limit", options.fFleet.fMemoryLimitMb,
           "With many inventories: the address space of one inventory's worker, 64 to 1073741824 MiB "
           "(default: no limit)")
        ->type_name("MIB")
        ->check(CLI::Range(std::size_t{64}, std::size_t{1} << 30).description(""));
    app.add_option("--max-inventory-size", options.fMaxInventorySize,
           "The largest inventory read, 1 byte to 2G, in bytes or with K, M or G (powers of 1024) (default: "
           "1G)")
        ->type_name("SIZE")
        ->transform(CLI::AsSizeValue(false).description(""));
    app.add_option("--from-jsonl", options.fJsonlFiles,
           "With --report: build the page from JSONL files of earlier runs instead of running")
        ->type_name("OUT.jsonl")
        ->expected(1, -1);
    // For the plug-in's developers.
    app.add_option("--plugin", options.fRun.fPluginPath,
           "Plug-in library to load (default: the libtarvoanal.pi.so installed with hvp-run)")
        ->type_name("PATH");
    app.add_option("--classes", classList,
           "Class names for GetData, separated by commas, kept in order; an empty text gives an "
           "empty list (default: QXRSG_TARVOHeavyHittersAnalysis)")
        ->type_name("LIST");
    const CLI::Validator atLeastOne(
        [](std::string& text) {
            std::size_t used = 0;
            try {
                if (std::stoi(text, &used) >= 1 && used == text.size())
                    return std::string();
            } catch (const std::exception&) {
            }
            return "must be a whole number from 1 to " + std::to_string(std::numeric_limits<int>::max()) +
                ", not \"" + text + "\"";
        },
        "");
    app.add_option(
           "--requests", options.fRun.fRequests, "GetData calls in one load, 1 to 2147483647 (default: 1)")
        ->type_name("N")
        ->check(atLeastOne);
    app.add_flag("--trace", options.fRun.fTrace, "Also record each host operation the plug-in calls");
}

// What is wrong with the options taken together, or nothing.
std::string OptionsProblem(const TOptions& options)
{
    if (!options.fJsonlFiles.empty() && (options.fReportPath.empty() || !options.fInventories.empty()))
        return "--from-jsonl needs --report and no INVENTORY";
    if (options.fReportGiven) {
        // The page's file is tried before anything runs, so that a path that
        // cannot be written is bad usage, with nothing run or printed.
        if (const std::string problem = ReportPathProblem(options.fReportPath); !problem.empty())
            return problem;
    }
    if (options.fMaxInventorySize == 0 || options.fMaxInventorySize > kLargestInventory)
        return "--max-inventory-size: must be from 1 byte to 2G, not " +
            std::to_string(options.fMaxInventorySize);
    for (const std::string& inventory : options.fInventories)
        if (inventory.empty())
            return "INVENTORY: an empty path names no file";
    if (options.fLive && !options.fInventories.empty())
        return "--live takes no INVENTORY: it collects this machine's own";
    return std::string();
}

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "hvp-run: %s\n", tarvorun::ShowOnTerminal(problem).c_str());
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

int RunMany(TOptions& options)
{
    tarvorun::TFleetSettings& fleet = options.fFleet;
    fleet.fRun = options.fRun;
    fleet.fJsonl = options.fFormat == "jsonl";
    const tarvorun::TMonitorOptions& monitor = options.fMonitor;
    fleet.fKeepLogs = !options.fReportPath.empty() || monitor.Active();
    fleet.fQuiet = options.fQuiet;
    tarvorun::TReport report;
    report.SetBaseline(fleet.fBaseline);
    tarvorun::TFleetTotals totals;
    tarvorun::TMonitoredRun monitored;
    monitored.fFleet = true;
    int status = kExitOk;
    {
        // A check prints its own lines only.
        tarvorun::TQuietStdout quiet(monitor.fCheck);
        status = tarvorun::RunFleet(fleet, options.fInventories, [&](tarvorun::TOutcome&& outcome) {
            totals.Add(outcome);
            if (monitor.Active())
                monitored.fMachines.push_back(tarvorun::FromOutcome(outcome));
            report.Add(std::move(outcome));
        });
    }
    if (status != kExitNotLoaded && !options.fReportPath.empty() && !WriteReport(report, options.fReportPath))
        return kExitUsage;
    // Output that went to a file or a pipe tells the person at the terminal
    // nothing: the summary, and where the report went, go to standard error.
    if (status != kExitNotLoaded && !options.fQuiet && !monitor.fCheck && isatty(STDOUT_FILENO) == 0) {
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
            {"", "", tarvorun::EMachineEnd::NotLoaded, "see standard error", {}, false});
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
            {outcome.fName, "", tarvorun::EMachineEnd::Unreadable, failure.what(), {}, false});
        if (!options.fReportPath.empty()) {
            outcome.fKind = tarvorun::EOutcome::Unreadable;
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
    else if (options.fFormat == "jsonl")
        sink.reset(new tarvorun::TJsonlSink(records));
    else
        sink.reset(new tarvorun::TTextSink(records, stderr, options.fRun.fRequests, options.fQuiet));
    sink->SetBaseline(options.fFleet.fBaseline);
    TCollectingSink collecting(*sink, outcome);
    tarvorun::TRunResult result;
    {
        // The lines are formatted and written on a second thread while the
        // plug-in goes on.
        tarvorun::TBackgroundLogSink background(options.fReportPath.empty() && !monitor.Active()
                ? static_cast<tarvorun::IRunSink&>(*sink)
                : collecting);
        result = tarvorun::RunPlugin(options.fRun, inventory, background);
        background.Drain();
    }
    if (result.fStatus != tarvorun::ERunStatus::NotLoaded)
        sink->Finish();
    std::string unwritten;
    if (records != stdout && !tarvorun::CloseRecordStream(records, unwritten)) {
        std::fprintf(stderr, "hvp-run: %s\n", unwritten.c_str());
        return kExitUsage;
    }
    if (monitor.Active()) {
        tarvorun::TMachineRun machine = tarvorun::FromOutcome(outcome);
        if (result.fStatus == tarvorun::ERunStatus::NotLoaded) {
            machine.fEnd = tarvorun::EMachineEnd::NotLoaded;
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
        std::fprintf(stderr, "hvp-run: %s\n", result.fLoadProblem.c_str());
        status = kExitNotLoaded;
    }
    return monitor.Active() ? tarvorun::FinishMonitoring(monitor, monitored, status) : status;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app(kDescription, "hvp-run");
    app.footer(kFooter);
    app.set_version_flag("--version", "hvp-run " TARVOANAL_VERSION " (plug-in interface 1.0)");
    TOptions options;
    options.fFleet.fJobs = DefaultJobs();
    std::string classList = "QXRSG_TARVOHeavyHittersAnalysis";
    DeclareOptions(app, options, classList);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        app.exit(failure);
        return kExitUsage;
    }
    options.fReportGiven = app.count("--report") > 0;
    if (const std::string problem = OptionsProblem(options); !problem.empty())
        return Usage(problem);
    if (const std::string problem = tarvorun::ReadMonitorOptions(options.fMonitor); !problem.empty())
        return Usage(problem);
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
    options.fRun.fClasses = SplitClassList(classList);
    if (options.fRun.fPluginPath.empty())
        options.fRun.fPluginPath = tarvorun::DefaultPluginPath();
    else if (options.fRun.fPluginPath.find('/') == std::string::npos)
        // A bare file name means the file here, not a search of the system's
        // library folders.
        options.fRun.fPluginPath = "./" + options.fRun.fPluginPath;
    return IsMany(options) ? RunMany(options) : RunSingle(options);
}
