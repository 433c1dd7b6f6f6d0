// hvp-collect: writes the inventory of the Linux machine it runs on, in the
// format hvp-run reads.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>

#include "bounded_read.hpp"
#include "collect.hpp"
#include "output_file.hpp"

namespace {

enum EExitStatus { kExitComplete = 0, kExitPartial = 1, kExitUsage = 2 };

const char* const kDescription =
    "Collect the inventory of this Linux machine (PCI functions, installed packages, SCSI adapters and "
    "their disks) and write it in the inventory format hvp-run reads.";

const char* const kFooter =
    "Exit status:\n"
    "  0  every source was read whole\n"
    "  1  some source was missing or could not be read whole; the inventory holds the\n"
    "     rest and standard error names each source and what went wrong\n"
    "  2  bad usage, or the output could not be written (standard error says why;\n"
    "     with -o, FILE is left as it was)\n\n"
    "Examples:\n"
    "  hvp-collect -o inventory.json && hvp-run inventory.json\n"
    "  hvp-collect | hvp-run -";

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app(kDescription, "hvp-collect");
    app.footer(kFooter);
    app.set_version_flag("--version", "hvp-collect " TARVOANAL_VERSION);

    std::string outputPath;
    tarvocollect::TCollectOptions options;
    app.add_option("-o,--output", outputPath,
           "Write the inventory to FILE instead of standard output (beside it, then renamed into place)")
        ->type_name("FILE");
    // For tests over recorded machines.
    app.add_option("--sysfs-root", options.fSysRoot,
           "Folder under which sys/, proc/sys/kernel/ and etc/machine-id are read (default: /)")
        ->group("");
    app.add_option(
           "--smartctl-dir", options.fSmartctlDir, "Read recorded smartctl --json outputs (H:C:T:L.json)")
        ->group("");
    std::string collectedAt;
    // The form the collection itself writes: 2026-12-08T11:03:06Z.
    const CLI::Validator rfc3339(
        [](const std::string& text) {
            const std::string form = "dddd-dd-ddTdd:dd:ddZ";
            bool matches = text.size() == form.size();
            for (std::size_t i = 0; matches && i < form.size(); ++i)
                matches = form[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0
                                         : text[i] == form[i];
            return matches
                ? std::string()
                : "--collected-at " + text + " is not an RFC 3339 time in UTC such as 2026-12-08T11:03:06Z";
        },
        "TIME");
    app.add_option("--collected-at", collectedAt, "The time of collection to write (RFC 3339)")
        ->check(rfc3339)
        ->group("");
    app.add_option("--dpkg-admindir", options.fDpkgAdminDir, "dpkg's administrative folder")->group("");
    app.add_option("--pci-dump", options.fPciDump, "Read PCI functions from this lspci -x output")->group("");
    app.add_option("--rpm-dbpath", options.fRpmDbPath, "The RPM database folder")->group("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        app.exit(failure);
        return kExitUsage;
    }

    if (!collectedAt.empty())
        options.fCollectedAt = collectedAt;

    const tarvocollect::TCollection collection = tarvocollect::CollectInventory(options);
    // Problem lines quote what the machine holds; a terminal shows it
    // escaped, never acting on a control it holds.
    for (const std::string& problem : collection.fProblems)
        std::fprintf(stderr, "hvp-collect: %s\n", tarvocollect::TerminalSafe(problem).c_str());

    std::string error;
    const bool written = outputPath.empty() || outputPath == "-"
        ? tarvocollect::WriteStandardOutput(collection.fInventoryJson, error)
        : tarvocollect::WriteFileWhole(outputPath, collection.fInventoryJson, error);
    if (!written) {
        std::fprintf(stderr, "hvp-collect: %s\n", tarvocollect::TerminalSafe(error).c_str());
        return kExitUsage;
    }
    return collection.Partial() ? kExitPartial : kExitComplete;
}
