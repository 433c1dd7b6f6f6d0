// Follows what the plug-in reads, so that each finding about a disk or a
// controller names the one it is about. The plug-in reads the instance a
// finding is about just before it writes the line: the disk's device code
// for an unsupported disk, the device data's counts for its errors, the
// controller's settings (and then only BIOS records) for its version and
// scrubbing lines. Reads of other classes leave the last subject as it is.
#include "examined_places.hpp"

namespace tarvorun {

namespace {

std::optional<TSubject> DiskAt(const std::vector<std::optional<std::size_t>>& places, std::size_t place)
{
    if (place >= places.size() || !places[place])
        return std::nullopt;
    return TSubject{TSubject::EWhat::Disk, *places[place]};
}

}  // namespace

void TSubjectTracker::OnInstanceRead(const std::string& className, std::size_t place)
{
    // Called for every property read: the names are told apart by their
    // length first, which settles almost every comparison.
    if (className == "QXRSG_tvSCSIDeviceData")
        fLast = DiskAt(fPlaces.fDiskOfDeviceData, place);
    else if (className == "QXRSG_tvDiskDrive")
        fLast = DiskAt(fPlaces.fDiskOfDrive, place);
    else if (className == "QXRSG_tvSCSIProtocolController")
        fLast = place < fControllers ? std::optional<TSubject>(TSubject{TSubject::EWhat::Controller, place})
                                     : std::nullopt;
}

}  // namespace tarvorun
