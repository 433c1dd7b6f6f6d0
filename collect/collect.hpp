// The inventory of the Linux machine this runs on, collected from its PCI
// library, its package databases and sysfs, in the format hvp-run reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records.hpp"

namespace tarvocollect {

struct TCollectOptions {
    // The folder under which sys/, proc/sys/kernel/, etc/machine-id and the
    // RPM database are read.
    std::string fSysRoot = "/";
    // dpkg's administrative folder, which holds its status file.
    std::string fDpkgAdminDir = "/var/lib/dpkg";
    // When set, PCI functions come from this recorded `lspci -x` output
    // instead of sysfs.
    std::string fPciDump;
    // When set, the RPM database folder; otherwise the usual places under
    // sysRoot.
    std::string fRpmDbPath;
    // When set, the disks' health comes from the recorded `smartctl --json`
    // outputs in this folder (H:C:T:L.json) and smartctl is never run.
    std::string fSmartctlDir;
    // When set, the time of collection written in the inventory (RFC 3339).
    std::optional<std::string> fCollectedAt;
    // When set, the program run as smartctl, even over a recorded tree
    // (tests give a stand-in); otherwise the installed one, on this machine.
    std::string fSmartctlProgram;
    // How long one smartctl run may take, in seconds.
    int fSmartctlLimitSeconds = 30;
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
