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
};

// Everything one collection read, whatever the order the machine gave it in.
struct TMachineRecords {
    std::uint16_t fOperatingSystemType = 36;  // the CIM code for Linux
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
