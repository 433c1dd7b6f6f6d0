// hvp-collect: writes the inventory of the Linux machine it runs on, in the
// format hvp-run reads.
#include <cstdio>
#include <string>

#include "bounded_read.hpp"
#include "collect.hpp"
#include "command_line.hpp"
#include "output_file.hpp"

namespace {

enum EExitStatus { kExitComplete = 0, kExitPartial = 1, kExitUsage = 2 };

}  // namespace

int main(int argc, char** argv)
{
    tarvocollect::TCommandLine line;
    if (const int status = tarvocollect::ParseCommandLine(argc, argv, line); status >= 0)
        return status;
    const tarvocollect::TCollectOptions& options = line.fCollect;
    const std::string& outputPath = line.fOutputPath;

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
