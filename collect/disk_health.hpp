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

class TDiskHealthSource {
public:
    // `recordedDir` non-empty: outputs are read from DIR/H:C:T:L.json and
    // smartctl is never run. Otherwise, when `live` (the devices are this
    // machine's own), smartctl is run on the device's SCSI generic node when
    // it is installed; a recorded machine's sgN is no node of this machine,
    // so without recorded outputs its disks have no health.
    TDiskHealthSource(std::string recordedDir, bool live) : fRecordedDir(std::move(recordedDir)), fLive(live)
    {
    }

    // The device's health; nothing, and no problem, when there is no output
    // for it or smartctl is absent or the disk does not answer. A recorded
    // output that cannot be read or parsed is a problem.
    TDiskHealth Read(const TScsiDevice& device, std::vector<std::string>& problems) const;

private:
    std::string fRecordedDir;
    bool fLive;
};

}  // namespace tarvocollect
