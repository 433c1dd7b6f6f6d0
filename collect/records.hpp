// Plain records of what the sources read from the machine. Each source fills
// its own kind of record; the mapping turns them into the inventory's classes.
// A fact the machine could not tell is an empty optional.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvocollect {

// One PCI function, as the PCI library reports it.
struct TPciFunction {
    int fDomain = 0;
    int fBus = 0;
    int fDevice = 0;
    int fFunction = 0;
    std::uint16_t fVendorId = 0;
    std::uint16_t fDeviceId = 0;

    // "0000:03:00.0", as sysfs and lspci -D name the function.
    std::string Address() const;
};

// One installed package, from the dpkg or the RPM database.
struct TPackage {
    std::string fName;
    std::string fVersion;
};

// One SCSI host (an adapter's controller as the kernel sees it) and the PCI
// function it sits behind, where it sits behind one.
struct TScsiHost {
    int fNumber = 0;
    std::string fPciAddress;  // empty when no PCI function is among its ancestors
    std::optional<std::uint16_t> fVendorId;
    std::optional<std::uint16_t> fDeviceId;
    std::string fDriverModule;  // empty when the driver is not known
    std::optional<std::string> fDriverVersion;
    // What the host's driver exposes under class/scsi_host/hostN, where it does.
    std::optional<std::string> fModel;
    std::optional<std::string> fFirmwareRevision;
    std::optional<std::string> fBiosRevision;
};

// What a disk tells of its own health through `smartctl --json`.
struct TDiskHealth {
    std::optional<bool> fPassed;               // the overall health assessment
    std::optional<std::int64_t> fCorrected;    // errors the disk corrected (its error counter log)
    std::optional<std::int64_t> fUncorrected;  // errors it could not correct
    std::optional<std::int64_t> fTransport;    // interface errors: CRC or running disparity
};

// One SCSI device, addressed host:channel:target:lun.
struct TScsiDevice {
    int fHost = 0;
    int fChannel = 0;
    int fTarget = 0;
    int fLun = 0;
    std::optional<int> fPeripheralType;  // the SCSI peripheral device type, 0 for direct access
    std::optional<std::string> fModel;
    std::optional<std::string> fRevision;
    std::optional<std::string> fSerialNumber;  // from VPD page 0x80
    std::optional<std::string> fVendor;        // the inquiry data's vendor text
    // Whether the disk driver attached the device (a `block` folder or a
    // `driver` link to sd): what Linux shows as a volume.
    bool fAttachedByDiskDriver = false;
    // The SCSI layer's counters, kept for every device.
    std::optional<std::uint64_t> fIoErrors;    // ioerr_cnt
    std::optional<std::uint64_t> fIoTimeouts;  // iotmo_cnt
    std::optional<std::uint64_t> fIoDone;      // iodone_cnt
    std::optional<std::string> fState;         // running, offline, blocked...
    std::string fGenericName;                  // sgN, the device's SCSI generic node, when it has one
    std::string fBlockName;                    // sdX, its block device, when the disk driver attached it
    std::string fStableName;                   // its name under /dev/disk/by-id, when udev made one
    std::string fSlot;                         // its enclosure slot, when an enclosure driver links one
    TDiskHealth fHealth;
};

// Which machine a collection describes, and when.
struct TMachineIdentity {
    std::optional<std::string> fHostname;
    std::optional<std::string> fMachineId;
    std::optional<std::string> fCollectedAt;  // RFC 3339, UTC
    std::optional<std::string> fKernelRelease;
    std::optional<std::string> fProductName;
    std::optional<std::string> fProductSerial;
};

// Everything one collection read, whatever the order the machine gave it in.
struct TMachineRecords {
    std::uint16_t fOperatingSystemType = 36;  // the CIM code for Linux
    TMachineIdentity fMachine;
    std::vector<TPciFunction> fPciFunctions;
    std::vector<TPackage> fPackages;
    std::vector<TScsiHost> fScsiHosts;
    std::vector<TScsiDevice> fScsiDevices;
};

// What one source answers: its records and what went wrong while reading
// them. A problem means that some records may be missing.
template <typename TRecord> struct TSourceResult {
    std::vector<TRecord> fRecords;
    std::vector<std::string> fProblems;
};

}  // namespace tarvocollect
