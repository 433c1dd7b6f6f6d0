// hvp-run's options, each declared once, in the groups its help shows: what
// an administrator runs it over and how, the monitoring, the limits of a
// run, and last what the plug-in's developers need. Each numeric option
// states its range in its help and in its error; options that do not work
// together are refused by name, so that none is silently ignored.
#include "options.hpp"

#include <unistd.h>

#include <cstdio>
#include <limits>

#include <CLI/CLI.hpp>

#include "help_text.hpp"
#include "check.hpp"
#include "option_rules.hpp"
#include "terminal_text.hpp"

namespace tarvorun {

namespace {

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

// The one longest --timeout: a week, far below where a count of clock
// ticks could overflow.
constexpr double kLongestTimeout = 7 * 24 * 3600;
void DeclareRunOptions(CLI::App& app, TOptions& options)
{
    app.add_option("INVENTORY", options.fInventories,
           "Inventory files, - for standard input, folders or archives (default: the bundled example)")
        ->type_name("")
        ->group(kRunGroup);
    app.add_option("--jobs", options.fFleet.fJobs,
           "With many inventories: how many run at once, 1 to 4096 (default: the processors)")
        ->type_name("N")
        ->check(CLI::Range(1u, 4096u).description(""))
        ->group(kRunGroup);
    app.add_option("--report", options.fReportPath, "Also write an HTML page of the findings for people")
        ->type_name("FILE.html")
        ->group(kRunGroup);
    // One file an occurrence, each taken, and the inventories after it theirs.
    app.add_option_function<std::string>(
           "--baseline", [&options](const std::string& file) { options.fBaselineFiles.push_back(file); },
           "Compare with an earlier run's jsonl output: mark each finding new or same, and list what was "
           "resolved (give it again for several outputs, merged)")
        ->type_name("OLD.jsonl")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->trigger_on_parse()
        ->group(kRunGroup);
    CLI::Validator oneOfTheForms = CLI::IsMember({"text", "jsonl"});
    oneOfTheForms.description("");
    app.add_option(
           "--format", options.fFormat, "Output form: text for a person, jsonl for programs (default: text)")
        ->type_name("FORMAT")
        ->check(oneOfTheForms)
        ->group(kRunGroup);
    app.add_flag("--quiet", options.fQuiet,
           "Print only findings and problems: no request or machine lines, no progress, no summary on "
           "standard error")
        ->group(kRunGroup);
    app.add_flag("--live", options.fLive,
           "Run over this machine's inventory, as the hvp-collect beside hvp-run collects it")
        ->group(kRunGroup);
    app.add_option("--history", options.fHistoryFiles,
           "With --report: show how the fleet changed over earlier runs' jsonl, oldest first (it takes "
           "every file after it: give the inventories before it)")
        ->type_name("OLD.jsonl")
        ->expected(1, -1)
        ->group(kRunGroup);
    app.add_option("--history-dir", options.fHistoryDir,
           "With --report: the same over the jsonl files of DIR in the order of their names, such as the "
           "scheduled check's history")
        ->type_name("DIR")
        ->group(kRunGroup);
    app.add_option("--stale-after", options.fStaleAfterDays,
           "With --report: mark a machine whose inventory was collected more than DAYS before the page "
           "was made, 0 to 3650 (default: 7)")
        ->type_name("DAYS")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::size_t used = 0;
                try {
                    const double days = std::stod(text, &used);
                    if (used == text.size() && days >= 0 && days <= 3650)
                        return std::string();
                } catch (const std::exception&) {
                }
                return "must be a number of days from 0 to 3650, not \"" + text + "\"";
            },
            ""))
        ->group(kRunGroup);
    app.add_option("--from-jsonl", options.fJsonlFiles,
           "With --report: build the page from JSONL files of earlier runs instead of running")
        ->type_name("OUT.jsonl")
        ->expected(1, -1)
        ->group(kRunGroup);
}

void DeclareMonitorOptions(CLI::App& app, TMonitorOptions& options)
{
    app.add_flag("--check", options.fCheck,
           "Print a monitoring check instead: a status line, a line per finding, exit 0 OK, 1 WARNING, "
           "2 CRITICAL, 3 UNKNOWN")
        ->group(kMonitorGroup);
    app.add_option("--metrics", options.fMetricsPath,
           "Also write the run's figures in the Prometheus text format, replacing FILE atomically")
        ->type_name("FILE")
        ->group(kMonitorGroup);
    app.add_option("--ignore", options.fIgnore, "With --check: leave out these finding kinds")
        ->type_name("KIND,...")
        ->group(kMonitorGroup);
    app.add_option("--severity-map", options.fSeverityMap,
           "With --check: count one severity as another, e.g. warning=critical,unknown=warning")
        ->type_name("FROM=TO,...")
        ->group(kMonitorGroup);
    CLI::Validator oneOfTheStates = CLI::IsMember({"ok", "warning", "critical", "unknown"});
    oneOfTheStates.description("");
    app.add_option("--no-adapter", options.fNoAdapter,
           "With --check: the state of a machine with neither an adapter of the family nor a controller: "
           "ok, warning, critical or unknown (default: unknown)")
        ->type_name("STATE")
        ->check(oneOfTheStates)
        ->group(kMonitorGroup);
}

void DeclareLimitOptions(CLI::App& app, TOptions& options)
{
    app.add_option("-t,--timeout", options.fFleet.fTimeoutSeconds,
           "The longest one inventory's run may take, --live's collection included, above 0 and at most "
           "604800 (a week); a run past it is ended and counts as timed out (default: no limit)")
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
            ""))
        ->group(kLimitGroup);
    app.add_option("--memory-limit", options.fFleet.fMemoryLimitMb,
           "The address space of one inventory's worker, 64 to 1073741824 MiB "
           "(default: no limit)")
        ->type_name("MIB")
        ->check(CLI::Range(std::size_t{64}, std::size_t{1} << 30).description(""))
        ->group(kLimitGroup);
    app.add_option("--max-inventory-size", options.fMaxInventorySize,
           "The largest inventory read, 1 byte to 2G, in bytes or with K, M or G (powers of 1024) (default: "
           "1G)")
        ->transform(CLI::AsSizeValue(false).description(""))
        ->type_name("SIZE")
        ->group(kLimitGroup);
}

void DeclareDeveloperOptions(CLI::App& app, TOptions& options, std::string& classList)
{
    app.add_option("--plugin", options.fRun.fPluginPath,
           "Plug-in library to load (default: the libtarvoanal.pi.so installed with hvp-run)")
        ->type_name("PATH")
        ->group(kDeveloperGroup);
    app.add_option("--classes", classList,
           "Class names for GetData, separated by commas, kept in order; an empty text gives an "
           "empty list (default: QXRSG_TARVOHeavyHittersAnalysis)")
        ->type_name("LIST")
        ->group(kDeveloperGroup);
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
        ->check(atLeastOne)
        ->group(kDeveloperGroup);
    app.add_flag("--trace", options.fRun.fTrace, "Also record each host operation the plug-in calls")
        ->group(kDeveloperGroup);
}

// An argument CLI11 did not take: a mistyped option, told with the one
// that was probably meant.
std::string UnknownArgumentProblem(const CLI::App& app, const std::string& argument)
{
    if (argument.empty() || argument[0] != '-')
        return "unexpected argument \"" + argument + "\"";
    std::string problem = "unknown option " + argument;
    if (const std::string nearest = NearestName(argument, LongOptionNames(app)); !nearest.empty())
        problem += "; did you mean " + nearest + "?";
    return problem;
}

// The settings of the run, derived from the options once: the single run
// and the fleet both read them.
void PlanRun(TOptions& options)
{
    TFleetSettings& plan = options.fFleet;
    plan.fRun = options.fRun;
    // --expect compares the run's jsonl records with the file's.
    plan.fJsonl = options.fFormat == "jsonl" || !options.fExpectPath.empty();
    plan.fKeepLogs = !options.fReportPath.empty() || options.fMonitor.Active();
    plan.fQuiet = options.fQuiet;
    plan.fRecords = !options.fMonitor.fCheck;
    // A check prints its own lines only, and a quiet run no progress.
    plan.fProgress = !options.fQuiet && !options.fMonitor.fCheck;
}

}  // namespace

namespace {

// Whether the command line asks for a check, known before it is parsed, so
// that even a command line that cannot be parsed answers as a check does.
bool gCheckAsked = false;

bool AsksForCheck(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--")
            break;
        if (TurnsCheckOn(argument))
            return true;
    }
    return false;
}

}  // namespace

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "hvp-run: %s\n", ShowOnTerminal(problem).c_str());
    if (!gCheckAsked)
        return kExitUsage;
    // A monitoring engine reads a usage error's state and line as it reads
    // any other check's: UNKNOWN, and no performance data.
    std::printf("TARVOANAL UNKNOWN - %s\n", CheckLine(problem).c_str());
    std::fflush(stdout);
    return kExitCheckUnknown;
}

// A mistake in the command line's own form, with where to look.
int UsageWithHint(const std::string& problem)
{
    const int status = Usage(problem);
    std::fputs("Run hvp-run --help for more information.\n", stderr);
    return status;
}

int ParseCommandLine(int argc, char** argv, TOptions& options)
{
    gCheckAsked = AsksForCheck(argc, argv);
    CLI::App app(RunDescription(), "hvp-run");
    app.formatter(MakeRunHelpFormatter());
    app.set_help_flag("-h,--help", "Print this help and exit")->group(kHelpGroup);
    app.set_version_flag("-V,--version", "hvp-run " TARVOANAL_VERSION " (plug-in interface 1.0)",
           "Print hvp-run's version and exit")
        ->group(kHelpGroup);
    // Mistyped options are told by hvp-run itself, with the nearest name.
    app.allow_extras();
    options.fFleet.fJobs = DefaultJobs();
    std::string classList = "QXRSG_TARVOHeavyHittersAnalysis";
    DeclareRunOptions(app, options);
    DeclareMonitorOptions(app, options.fMonitor);
    DeclareLimitOptions(app, options);
    DeclareDeveloperOptions(app, options, classList);
    DeclareHarnessOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        return UsageWithHint(failure.what());
    }
    if (!app.remaining().empty())
        return UsageWithHint(UnknownArgumentProblem(app, app.remaining().front()));
    if (const std::string problem = OptionsProblem(app, options); !problem.empty())
        return Usage(problem);
    if (const std::string problem = ReadMonitorOptions(options.fMonitor); !problem.empty())
        return Usage(problem);
    options.fRun.fClasses = SplitClassList(classList);
    if (options.fRun.fPluginPath.empty())
        options.fRun.fPluginPath = DefaultPluginPath();
    else if (options.fRun.fPluginPath.find('/') == std::string::npos)
        // A bare file name means the file here, not a search of the system's
        // library folders.
        options.fRun.fPluginPath = "./" + options.fRun.fPluginPath;
    PlanRun(options);
    return -1;
}

}  // namespace tarvorun
