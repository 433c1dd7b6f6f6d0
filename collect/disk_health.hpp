// A disk's own health as smartmontools reports it (`smartctl --json -a`):
// read from recorded outputs in tests, from smartctl itself on a live
// machine where it is installed. Only values the disk keeps are taken; what
// it does not report stays empty.
#pragma once

#include <string>
#include <vector>

#include "records.hpp"

namespace tarvocollect {

// The health figures in one `smartctl --json` output; false, with the
// reason in `error`, when the text is not such an output.
bool ParseSmartctlJson(const std::string& text, TDiskHealth& health, std::string& error);

// Why a disk's counts could not be read from one smartctl run, from the
// output (its exit status and messages) and whether it timed out; empty
// when the output holds a health assessment or a count. `root`: whether
// this process runs as root, without which smartctl cannot open a node.
std::string UnreadReason(const std::string& output, bool timedOut, bool root, int limitSeconds);

class TDiskHealthSource {
public:
    // `recordedDir` non-empty: outputs are read from DIR/H:C:T:L.json and
    // smartctl is never run. Otherwise `program` is run (on a live machine
    // the smartctl that is installed, empty when none is) within
    // `limitSeconds`, unless `live` is false: a recorded tree's sgN is no
    // node of this machine, so its disks are not asked.
    TDiskHealthSource(std::string recordedDir, std::string program, bool live, int limitSeconds = 30)
        : fRecordedDir(std::move(recordedDir)), fProgram(std::move(program)), fLive(live),
          fLimitSeconds(limitSeconds)
    {
    }

    // The device's health. A disk without a SCSI generic node, which its
    // driver keeps from Linux, is not asked and is no problem; any other
    // disk whose counts are not read is one problem line saying why.
    TDiskHealth Read(const TScsiDevice& device, std::vector<std::string>& problems) const;

    // The smartctl installed on this machine; empty when there is none.
    static std::string InstalledSmartctl();

private:
    std::string fRecordedDir;
    std::string fProgram;
    bool fLive;
    int fLimitSeconds;
};

}  // namespace tarvocollect
