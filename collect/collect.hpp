// The inventory of the Linux machine this runs on, collected from its PCI
// library, its package databases and sysfs, in the format hvp-run reads.
#pragma once

#include <string>
#include <vector>

#include "records.hpp"

namespace tarvocollect {

struct TCollectOptions {
    // The folder under which sys/ and the RPM database are read.
    std::string fSysRoot = "/";
    // dpkg's administrative folder, which holds its status file.
    std::string fDpkgAdminDir = "/var/lib/dpkg";
    // When set, PCI functions come from this recorded `lspci -x` output
    // instead of sysfs.
    std::string fPciDump;
    // When set, the RPM database folder; otherwise the usual places under
    // sysRoot.
    std::string fRpmDbPath;
};

struct TCollection {
    std::string fInventoryJson;
    // One line per source that could not be read whole, naming the source
    // and what went wrong.
    std::vector<std::string> fProblems;

    // Whether some source was missing or could not be read whole: the
    // inventory holds what could be read.
    bool Partial() const { return !fProblems.empty(); }
};

// Reads every source; a source that fails adds its problems and the others
// are still read.
TMachineRecords CollectRecords(const TCollectOptions& options, std::vector<std::string>& problems);

// Reads every source and writes the inventory. The text is the same for the
// same machine state: every list is sorted.
TCollection CollectInventory(const TCollectOptions& options);

}  // namespace tarvocollect
