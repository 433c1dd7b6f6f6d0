// Where a SCSI device sits in Linux: the nodes the kernel made for it, its
// stable name under /dev/disk/by-id and the enclosure slot it is in. These
// are what an administrator needs to find the disk a finding names.
#pragma once

#include <filesystem>
#include <string>

namespace tarvocollect {

// The name of the one entry of a folder ("sg3" in scsi_generic/), or empty.
std::string FolderChild(const std::filesystem::path& folder);

// Whether the disk driver attached the device: it shows a device it
// attached as a block device, and its driver link names it.
bool AttachedByDiskDriver(const std::filesystem::path& device);

// The slot of the enclosure the device is in, from the link the enclosure
// driver makes in the device's folder, `enclosure_device:SLOT`; the first
// by name when there are several, empty when there is none.
std::string EnclosureSlot(const std::filesystem::path& device);

// The first name, in name order, of the links in `byIdFolder` that lead to
// the block device `block` itself (not one of its partitions); empty when
// there is none.
std::string StableName(const std::filesystem::path& byIdFolder, const std::string& block);

}  // namespace tarvocollect
