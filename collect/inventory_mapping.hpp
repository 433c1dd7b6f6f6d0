// From the records of a collection to the inventory document hvp-run reads:
// pure code, records in, text out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter_family.hpp"
#include "records.hpp"

namespace tarvocollect {

bool IsFamilyAdapter(const TScsiHost& host);

// Whether a device on a host of the family is one of the adapter's logical
// drives: a direct-access device that the disk driver attached, on channel 0,
// where such adapters show their volumes. Physical disks are either hidden
// from Linux or shown on a channel of their own, without the disk driver.
bool IsLogicalDrive(const TScsiDevice& device);

// Whether a device is a physical disk behind an adapter of the family: on a
// host of the family, of direct access, and not a logical drive.
bool IsPhysicalDisk(const TScsiDevice& device, const std::vector<TScsiHost>& hosts);

// The text of the "DeviceType" property for a SCSI peripheral device type:
// "Hard disk" for a direct-access device.
std::string DeviceTypeText(int peripheralType);

// The inventory document: the operating-system type, one QXRSG_PCIDevice per
// PCI function, one QXRSG_InstalledRPM per package, one
// QXRSG_tvSCSIProtocolController and one QXRSG_tvBiosVersion per SCSI host
// behind an adapter of the family, one QXRSG_tvDiskDrive per device on such a
// host that is not a logical drive, one QXRSG_tvSCSIDeviceData per physical
// disk, the machine's identity in a comment member, and every other
// class the analyses read, empty. Problems are kept in a comment member.
// Bytes that are not UTF-8 are written as U+FFFD, so the text is always valid
// JSON.
std::string InventoryJson(const TMachineRecords& records, const std::vector<std::string>& problems);

}  // namespace tarvocollect
