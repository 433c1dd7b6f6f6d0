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
#include "fleet.hpp"
#include "inputs.hpp"
#include "live_inventory.hpp"
#include "output.hpp"
#include "record_stream.hpp"
#include "report.hpp"
#include "session.hpp"

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
    void OnPlugin(const tarvorun::TIdentity& identity) override { fInner.OnPlugin(identity); }
    void OnRequest(int number) override { fInner.OnRequest(number); }
    void OnLog(int level, const std::string& text) override
    {
        fInner.OnLog(level, text);
        fOutcome.fFindings += level == 100 ? 1 : 0;
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

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app(kDescription, "hvp-run");
    app.footer(kFooter);
    app.set_version_flag("--version", "hvp-run " TARVOANAL_VERSION " (plug-in interface 1.0)");

    tarvorun::TRunSettings settings;
    std::vector<std::string> inventories;
    tarvorun::TFleetSettings fleet;
    fleet.fJobs = DefaultJobs();
    std::string reportPath;
    std::vector<std::string> jsonlFiles;
    std::string classList = "QXRSG_TARVOHeavyHittersAnalysis";
    std::string format = "text";
    app.add_option("--plugin", settings.fPluginPath,
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
    app.add_option("--requests", settings.fRequests, "GetData calls in one load (default: 1)")
        ->type_name("N")
        ->check(atLeastOne);
    CLI::Validator oneOfTheForms = CLI::IsMember({"text", "jsonl"});
    oneOfTheForms.description("");
    app.add_option("--format", format, "Output form: text for a person, jsonl for programs (default: text)")
        ->type_name("FORMAT")
        ->check(oneOfTheForms);
    app.add_flag("--trace", settings.fTrace, "Also record each host operation the plug-in calls");
    app.add_option(
           "--jobs", fleet.fJobs, "With many inventories: how many run at once (default: the processors)")
        ->type_name("N")
        ->check(CLI::Range(1u, 4096u).description(""));
    app.add_option("--timeout", fleet.fTimeoutSeconds,
           "With many inventories: the longest one inventory's run may take (default: no limit)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::size_t used = 0;
                try {
                    const double seconds = std::stod(text, &used);
                    if (used == text.size() && seconds > 0 && std::isfinite(seconds))
                        return std::string();
                } catch (const std::exception&) {
                }
                return "must be a number of seconds above 0, not \"" + text + "\"";
            },
            ""));
    app.add_option("--memory-limit", fleet.fMemoryLimitMb,
           "With many inventories: the address space of one inventory's worker (default: no limit)")
        ->type_name("MIB")
        ->check(CLI::Range(std::size_t{64}, std::size_t{1} << 30).description(""));
    app.add_option("--report", reportPath, "Also write an HTML page of the findings for people")
        ->type_name("FILE.html");
    app.add_option("--from-jsonl", jsonlFiles,
           "With --report: build the page from JSONL files of earlier runs instead of running")
        ->type_name("OUT.jsonl")
        ->expected(1, -1);
    std::uint64_t maxInventorySize = tarvorun::TInventory::kDefaultMaxBytes;
    app.add_option("--max-inventory-size", maxInventorySize,
           "The largest inventory read, in bytes or with K, M or G (powers of 1024) (default: 1G)")
        ->type_name("SIZE")
        ->transform(CLI::AsSizeValue(false));
    bool live = false;
    app.add_flag(
        "--live", live, "Run over this machine's inventory, as the hvp-collect beside hvp-run collects it");
    app.add_option("INVENTORY", inventories, "Inventory files, - for standard input, folders or archives")
        ->type_name("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        app.exit(failure);
        return kExitUsage;
    }

    if (app.count("--report") > 0) {
        // The page's file is tried before anything runs, so that a path that
        // cannot be written is bad usage, with nothing run or printed.
        const std::string problem = ReportPathProblem(reportPath);
        if (!problem.empty()) {
            std::fprintf(stderr, "hvp-run: %s\n", problem.c_str());
            return kExitUsage;
        }
    }
    if (!jsonlFiles.empty()) {
        if (reportPath.empty() || !inventories.empty()) {
            std::fprintf(stderr, "hvp-run: --from-jsonl needs --report and no INVENTORY\n");
            return kExitUsage;
        }
        tarvorun::TReport report;
        for (const std::string& file : jsonlFiles) {
            std::string problem;
            if (!report.AddJsonl(file, problem)) {
                std::fprintf(stderr, "hvp-run: %s\n", problem.c_str());
                return kExitUsage;
            }
        }
        return WriteReport(report, reportPath) ? kExitOk : kExitUsage;
    }

    if (maxInventorySize == 0) {
        std::fprintf(stderr, "hvp-run: --max-inventory-size: must be 1 byte or more\n");
        return kExitUsage;
    }
    tarvorun::SetInventorySizeLimit(maxInventorySize);
    for (const std::string& inventory : inventories)
        if (inventory.empty()) {
            std::fprintf(stderr, "hvp-run: INVENTORY: an empty path names no file\n");
            return kExitUsage;
        }
    if (live && !inventories.empty()) {
        std::fprintf(stderr, "hvp-run: --live takes no INVENTORY: it collects this machine's own\n");
        return kExitUsage;
    }

    settings.fClasses = SplitClassList(classList);
    if (settings.fPluginPath.empty())
        settings.fPluginPath = tarvorun::DefaultPluginPath();
    else if (settings.fPluginPath.find('/') == std::string::npos)
        // A bare file name means the file here, not a search of the system's
        // library folders.
        settings.fPluginPath = "./" + settings.fPluginPath;

    tarvorun::TReport report;
    if (inventories.size() > 1 ||
        (inventories.size() == 1 &&
            tarvorun::ClassifyArgument(inventories[0]) != tarvorun::EArgumentKind::File)) {
        fleet.fRun = settings;
        fleet.fJsonl = format == "jsonl";
        fleet.fKeepLogs = !reportPath.empty();
        const int status = tarvorun::RunFleet(
            fleet, inventories, [&](tarvorun::TOutcome&& outcome) { report.Add(std::move(outcome)); });
        if (status != kExitNotLoaded && !reportPath.empty() && !WriteReport(report, reportPath))
            return kExitUsage;
        return status;
    }

    const std::string inventoryPath = inventories.empty() ? std::string() : inventories[0];
    tarvorun::TOutcome outcome;
    outcome.fName = live        ? std::string(kLiveInventory)
        : inventoryPath.empty() ? std::string("example inventory")
                                : inventoryPath;
    std::shared_ptr<const tarvorun::TInventory> inventory;
    try {
        inventory = live ? LoadLive() : LoadSingle(inventoryPath);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "hvp-run: %s\n", failure.what());
        if (!reportPath.empty()) {
            outcome.fKind = tarvorun::EOutcome::Unreadable;
            outcome.fMessage = failure.what();
            report.Add(std::move(outcome));
            WriteReport(report, reportPath);
        }
        return kExitUsage;
    }

    std::FILE* const records = tarvorun::OpenRecordStream();
    std::unique_ptr<tarvorun::IRunSink> sink;
    if (format == "jsonl")
        sink.reset(new tarvorun::TJsonlSink(records));
    else
        sink.reset(new tarvorun::TTextSink(records, stderr, settings.fRequests));

    TCollectingSink collecting(*sink, outcome);
    tarvorun::TRunResult result;
    {
        // The lines are formatted and written on a second thread while the
        // plug-in goes on.
        tarvorun::TBackgroundLogSink background(reportPath.empty() ? *sink : collecting);
        result = tarvorun::RunPlugin(settings, inventory, background);
        background.Drain();
    }
    std::string unwritten;
    if (!tarvorun::CloseRecordStream(records, unwritten)) {
        std::fprintf(stderr, "hvp-run: %s\n", unwritten.c_str());
        return kExitUsage;
    }
    if (!reportPath.empty() && result.fStatus != tarvorun::ERunStatus::NotLoaded) {
        report.Add(std::move(outcome));
        if (!WriteReport(report, reportPath))
            return kExitUsage;
    }
    switch (result.fStatus) {
    case tarvorun::ERunStatus::Completed:
        return kExitOk;
    case tarvorun::ERunStatus::Failed:
        return kExitException;
    case tarvorun::ERunStatus::NotLoaded:
        std::fprintf(stderr, "hvp-run: %s\n", result.fLoadProblem.c_str());
        return kExitNotLoaded;
    }
    return kExitOk;
}
