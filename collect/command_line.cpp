// hvp-collect's options and their help, laid out by the formatter hvp-run
// uses, so that the two commands read alike on a terminal of any width. The
// options for tests over recorded machines stay out of the help.
#include "command_line.hpp"

#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "bounded_read.hpp"
#include "help_text.hpp"

namespace tarvocollect {

namespace {

constexpr int kExitUsage = 2;

const char* const kDescription =
    "Collect the inventory of this Linux machine (PCI functions, installed packages, SCSI adapters and "
    "their disks) and write it in the inventory format hvp-run reads.";

const char* const kOutputGroup = "Output";
const char* const kHelpGroup = "Help";

const tarvorun::THelpSection kExitStatuses{"Exit status",
    {{"0", "every source was read whole"},
        {"1",
            "some source was missing or could not be read whole; the inventory holds the rest and standard "
            "error names each source and what went wrong"},
        {"2",
            "bad usage, or the output could not be written (standard error says why; with -o, FILE is left "
            "as it was)"}}};

const tarvorun::THelpSection kExamples{"Examples",
    {{"hvp-collect -o inventory.json && hvp-run inventory.json", ""}, {"hvp-collect | hvp-run -", ""}}};

const tarvorun::THelpSection kSeeAlso{"See also",
    {{"man hvp-collect", "where each class and property comes from"},
        {"man 5 hvp-inventory", "the inventory format"}}};

// The form the collection itself writes: 2026-12-08T11:03:06Z.
std::string CollectedAtProblem(const std::string& text)
{
    const std::string form = "dddd-dd-ddTdd:dd:ddZ";
    bool matches = text.size() == form.size();
    for (std::size_t i = 0; matches && i < form.size(); ++i)
        matches =
            form[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0 : text[i] == form[i];
    return matches
        ? std::string()
        : "--collected-at " + text + " is not an RFC 3339 time in UTC such as 2026-12-08T11:03:06Z";
}

// The options for tests over recorded machines: in no group, so that the
// help leaves them out.
void DeclareRecordedMachineOptions(CLI::App& app, TCollectOptions& options, std::string& collectedAt)
{
    app.add_option("--sysfs-root", options.fSysRoot,
           "Folder under which sys/, proc/sys/kernel/ and etc/machine-id are read (default: /)")
        ->group("");
    app.add_option(
           "--smartctl-dir", options.fSmartctlDir, "Read recorded smartctl --json outputs (H:C:T:L.json)")
        ->group("");
    app.add_option("--collected-at", collectedAt, "The time of collection to write (RFC 3339)")
        ->check(CLI::Validator(CollectedAtProblem, "TIME"))
        ->group("");
    app.add_option("--dpkg-admindir", options.fDpkgAdminDir, "dpkg's administrative folder")->group("");
    app.add_option("--pci-dump", options.fPciDump, "Read PCI functions from this lspci -x output")->group("");
    app.add_option("--rpm-dbpath", options.fRpmDbPath, "The RPM database folder")->group("");
}

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "hvp-collect: %s\nRun hvp-collect --help for more information.\n",
        TerminalSafe(problem).c_str());
    return kExitUsage;
}

// An argument CLI11 did not take: a mistyped option, told with the one
// that was probably meant.
std::string UnknownArgumentProblem(const CLI::App& app, const std::string& argument)
{
    if (argument.empty() || argument[0] != '-')
        return "unexpected argument \"" + argument + "\"";
    std::string problem = "unknown option " + argument;
    if (const std::string nearest = tarvorun::NearestName(argument, tarvorun::LongOptionNames(app));
        !nearest.empty())
        problem += "; did you mean " + nearest + "?";
    return problem;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, TCommandLine& line)
{
    CLI::App app(kDescription, "hvp-collect");
    app.formatter(std::make_shared<tarvorun::THelpFormatter>(std::vector<std::string>{"[OPTIONS]"},
        std::vector<std::string>{kOutputGroup, kHelpGroup},
        std::vector<tarvorun::THelpSection>{kExitStatuses, kExamples, kSeeAlso}, tarvorun::HelpWidth()));
    app.set_help_flag("-h,--help", "Print this help and exit")->group(kHelpGroup);
    app.set_version_flag(
           "--version", "hvp-collect " TARVOANAL_VERSION, "Print hvp-collect's version and exit")
        ->group(kHelpGroup);
    // Mistyped options are told by hvp-collect itself, with the nearest name.
    app.allow_extras();
    app.add_option("-o,--output", line.fOutputPath,
           "Write the inventory to FILE instead of standard output (beside it, then renamed into place)")
        ->type_name("FILE")
        ->group(kOutputGroup);
    std::string collectedAt;
    DeclareRecordedMachineOptions(app, line.fCollect, collectedAt);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        return Usage(failure.what());
    }
    if (!app.remaining().empty())
        return Usage(UnknownArgumentProblem(app, app.remaining().front()));
    if (!collectedAt.empty())
        line.fCollect.fCollectedAt = collectedAt;
    return -1;
}

}  // namespace tarvocollect
