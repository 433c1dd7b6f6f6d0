// Disk firmware currency check.
//
// Walks the hard disks and gathers what a firmware currency rule needs: the
// firmware version from each disk's version record and the disk's device code.
// There is no list of current firmware levels yet, so nothing is compared and
// nothing is logged; the analysis shows only through its host queries and any
// host failure they raise, which reaches the driver like any other.
//
// Reads QXRSG_tvDiskDrive: DeviceType (decimal text; only a device whose type
// is exactly "Hard disk" goes on). For each hard disk, one association query on
// the disk's own instance for its QXRSG_tvDiskDriveVersion records, then
// Version from the first record and, only when that is not null, DeviceCode
// from the disk.
//
// A hard disk for which the host delivers no version record is left as for a
// null Version: nothing is read from it beyond its type, and the next disk is
// handled normally.
//
// Example line: none; this analysis never logs.
#include <string>

#include "hard_disk.hpp"
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

const char* const kVersionClass = "QXRSG_tvDiskDriveVersion";

// Appends the version records the host associates with `disk` to `records`,
// in the host's order. Any association class, role and result role will do;
// only the result class is named.
void CollectVersionRecords(const boost::shared_ptr<ICIMInstance>& disk, TInstanceList& records)
{
    const boost::function1<bool, boost::shared_ptr<ICIMInstance>> callback =
        TAddToVectorCallback<ICIMInstance>(&records);
    disk->EnumerateAssociatedInstances(
        callback, std::string(), kVersionClass, std::string(), std::string(), QueryContext());
}

// Reads the firmware version of the first record and, when it is not null,
// the disk's device code. A disk without any record has no version to read and
// is left like one whose version is null; the list is never read past its end.
void ReadFirmwareFacts(const boost::shared_ptr<ICIMInstance>& disk, const TInstanceList& records)
{
    if (records.empty())
        return;
    const TCIMValue version = ReadPropertyValue(records.front(), "Version");
    if (version.IsNull())
        return;
    // Read for the currency rule to come; nothing is judged from it today.
    const TCIMValue code = ReadPropertyValue(disk, "DeviceCode");
    static_cast<void>(code);
}

}  // namespace

void TTarvoAnalPluginCallbacks::DiskFirmwareUpToDateAnalysis(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    const TInstanceList disks = ClassInstances(ns, "QXRSG_tvDiskDrive", context);

    for (const boost::shared_ptr<ICIMInstance>& disk : disks) {
        if (!IsHardDisk(disk))
            continue;
        // Each disk gets its own record list, so nothing carries from one disk
        // to the next.
        TInstanceList records;
        CollectVersionRecords(disk, records);
        ReadFirmwareFacts(disk, records);
    }
}

}  // namespace tarvoanal
