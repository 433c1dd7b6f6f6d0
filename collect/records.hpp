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
    int domain = 0;
    int bus = 0;
    int device = 0;
    int function = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t deviceId = 0;

    // "0000:03:00.0", as sysfs and lspci -D name the function.
    std::string Address() const;
};

// One installed package, from the dpkg or the RPM database.
struct TPackage {
    std::string name;
    std::string version;
};

// One SCSI host (an adapter's controller as the kernel sees it) and the PCI
// function it sits behind, where it sits behind one.
struct TScsiHost {
    int number = 0;
    std::string pciAddress;  // empty when no PCI function is among its ancestors
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> deviceId;
    std::string driverModule;  // empty when the driver is not known
    std::optional<std::string> driverVersion;
};

// One SCSI device, addressed host:channel:target:lun.
struct TScsiDevice {
    int host = 0;
    int channel = 0;
    int target = 0;
    int lun = 0;
    std::optional<int> peripheralType;  // the SCSI peripheral device type, 0 for direct access
    std::optional<std::string> model;
    std::optional<std::string> revision;
    std::optional<std::string> serialNumber;  // from VPD page 0x80
};

// Everything one collection read, whatever the order the machine gave it in.
struct TMachineRecords {
    std::uint16_t operatingSystemType = 36;  // the CIM code for Linux
    std::vector<TPciFunction> pciFunctions;
    std::vector<TPackage> packages;
    std::vector<TScsiHost> scsiHosts;
    std::vector<TScsiDevice> scsiDevices;
};

// What one source answers: its records and what went wrong while reading
// them. A problem means that some records may be missing.
template <typename TRecord> struct TSourceResult {
    std::vector<TRecord> records;
    std::vector<std::string> problems;
};

}  // namespace tarvocollect
