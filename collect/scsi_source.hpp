// SCSI hosts and devices, read from sysfs under a folder that tests point at
// a recorded tree.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "records.hpp"

namespace tarvocollect {

struct TScsiResult {
    std::vector<TScsiHost> fHosts;      // by host number
    std::vector<TScsiDevice> fDevices;  // by address
    std::vector<std::string> fProblems;
};

class TScsiSource {
public:
    // `sysfsPath` is the folder mounted as /sys on a live machine, `devPath`
    // the one mounted as /dev, whose disk/by-id names the disks.
    TScsiSource(std::string sysfsPath, std::string devPath)
        : fSysfs(std::move(sysfsPath)), fDev(std::move(devPath))
    {
    }

    // Every SCSI host (class/scsi_host) with the PCI function among its
    // ancestors, its driver's module version and the model, firmware and
    // BIOS revisions its driver exposes; and every SCSI device
    // (bus/scsi/devices) with its type, vendor, model, revision, unit serial
    // number, the SCSI layer's counters and state, whether the disk driver
    // attached it, its SCSI generic node and block device, its name under
    // disk/by-id and its enclosure slot. A machine without SCSI has
    // neither folder, which is no problem; an attribute that a device always
    // has but that cannot be read is, and so is any attribute that is there
    // but is no short regular file.
    TScsiResult Read() const;

private:
    std::string fSysfs;
    std::string fDev;
};

// The unit serial number held in a VPD page 0x80 as the kernel exposes it
// (the page's header, then the number); false for a page that is not one.
// Padding blanks and NULs around the number are dropped.
bool ParseUnitSerialPage(const std::string& page, std::string& serial);

}  // namespace tarvocollect
