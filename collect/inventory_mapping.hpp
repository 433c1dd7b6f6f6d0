// From the records of a collection to the inventory document hvp-run reads:
// pure code, records in, text out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records.hpp"

namespace tarvocollect {

// A PCI (vendor, device) pair of the adapter family the analyses look for.
struct TAdapterId {
    std::uint16_t fVendorId;
    std::uint16_t fDeviceId;
};
extern const std::vector<TAdapterId> kAdapterFamily;

bool IsFamilyAdapter(const TScsiHost& host);

// The text of the "DeviceType" property for a SCSI peripheral device type:
// "Hard disk" for a direct-access device.
std::string DeviceTypeText(int peripheralType);

// The inventory document: the operating-system type, one QXRSG_PCIDevice per
// PCI function, one QXRSG_InstalledRPM per package, one
// QXRSG_tvSCSIProtocolController per SCSI host behind an adapter of the
// family, one QXRSG_tvDiskDrive per device on such a host, and every other
// class the analyses read, empty. Problems are kept in a comment member.
// Bytes that are not UTF-8 are written as U+FFFD, so the text is always valid
// JSON.
std::string InventoryJson(const TMachineRecords& records, const std::vector<std::string>& problems);

}  // namespace tarvocollect
