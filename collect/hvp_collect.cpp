// hvp-collect: writes the inventory of the Linux machine it runs on, in the
// format hvp-run reads.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>

#include "collect.hpp"

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
    "  2  bad usage, or the output could not be written\n\n"
    "Examples:\n"
    "  hvp-collect -o inventory.json && hvp-run inventory.json\n"
    "  hvp-collect | hvp-run -";

// Writes the whole text; false, with errno set, when it could not.
bool WriteAll(std::FILE* out, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app(kDescription, "hvp-collect");
    app.footer(kFooter);
    app.set_version_flag("--version", "hvp-collect " TARVOANAL_VERSION);

    std::string outputPath;
    tarvocollect::TCollectOptions options;
    app.add_option("-o,--output", outputPath, "Write the inventory to FILE instead of standard output")
        ->type_name("FILE");
    // For tests over recorded machines.
    app.add_option("--sysfs-root", options.fSysRoot, "Folder under which sys/ is read (default: /)")
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

    const tarvocollect::TCollection collection = tarvocollect::CollectInventory(options);
    for (const std::string& problem : collection.fProblems)
        std::fprintf(stderr, "hvp-collect: %s\n", problem.c_str());

    if (outputPath.empty() || outputPath == "-") {
        if (!WriteAll(stdout, collection.fInventoryJson)) {
            std::fprintf(stderr, "hvp-collect: standard output: %s\n", std::strerror(errno));
            return kExitUsage;
        }
    } else {
        std::FILE* out = std::fopen(outputPath.c_str(), "wb");
        const bool written = out != nullptr && WriteAll(out, collection.fInventoryJson);
        const int error = errno;
        const bool closed = out != nullptr && std::fclose(out) == 0;
        if (!written || !closed) {
            std::fprintf(stderr, "hvp-collect: %s: cannot write: %s\n", outputPath.c_str(),
                std::strerror(written ? errno : error));
            return kExitUsage;
        }
    }
    return collection.Partial() ? kExitPartial : kExitComplete;
}
