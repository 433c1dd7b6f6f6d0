// Disk bad-lot scan.
//
// The place for reporting hard disks that belong to a bad manufacturing lot.
// It walks QXRSG_tvDiskDrive, reads DeviceType (decimal text) and, for each
// device whose type is exactly "Hard disk", DeviceSerialNum. There is no lot
// data to hold the serial numbers against yet, so nothing is compared and
// nothing is logged, whether the serial number is null or not; the analysis
// shows only through its host queries and any host failure they raise, which
// reaches the driver like any other. A null type skips the device silently.
//
// Example line: none; this analysis never logs.
#include <string>

#include "hard_disk.hpp"
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

void TTarvoAnalPluginCallbacks::DiskMemberOfBadLotAnalysis(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    const TInstanceList devices = ClassInstances(ns, "QXRSG_tvDiskDrive", context);

    for (const boost::shared_ptr<ICIMInstance>& device : devices) {
        if (!IsHardDisk(device))
            continue;
        // Fetched for the lot comparison to come; a null serial number and a
        // known one end the same way today.
        const TCIMValue serial = ReadPropertyValue(device, "DeviceSerialNum");
        static_cast<void>(serial);
    }
}

}  // namespace tarvoanal
