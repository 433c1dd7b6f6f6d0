// Controller device-error analysis.
//
// Reports the error counters of every device attached to an adapter: one line
// for a PFA flag that reads exactly "Yes", and one for each parity, soft, hard
// and misc count above zero, in that order. Counts and addresses are read as
// decimal text and converted with strtol rules to 32-bit signed integers.
//
// A device behind a controller that is part of a cluster (its PartOfCluster
// text contains "Yes") gets a fixed sentence after its soft and misc lines,
// saying that the errors are normal in a shared storage configuration. Such
// devices are found first: the numbers of the clustered controllers are
// stacked, and for each one taken off the stack the disks on that controller
// give the addresses of the shared devices.
//
// Reads, in order:
//   QXRSG_tvSCSIProtocolController: PartOfCluster, ControllerNum
//   QXRSG_tvDiskDrive: ControllerNum, Channel, ScsiId (only for clustered controllers)
//   QXRSG_tvSCSIDeviceData: ControllerNum, Channel, ScsiId, NumParityErrors,
//     NumSoftErrors, NumHardErrors, PFA, Misc
// A null value leaves out the controller, the disk or the device silently,
// and the later properties of that instance are not read.
//
// Example line:
//   Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 4 soft errors:  This adapter is currently part
//   of a shared storage configuration.  These events are normal.   (one line)
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

// The address of one disk behind a clustered controller.
struct CollectedClusterControllersDevices {
    std::int32_t ControllerNum;
    std::int32_t Channel;
    std::int32_t ScsiId;

    bool operator==(const CollectedClusterControllersDevices& other) const
    {
        return ControllerNum == other.ControllerNum && Channel == other.Channel && ScsiId == other.ScsiId;
    }
};

// The values read from one QXRSG_tvSCSIDeviceData instance.
struct DeviceErrorRecord {
    std::int32_t ControllerNum;
    std::int32_t Channel;
    std::int32_t ScsiId;
    std::int32_t NumParityErrors;
    std::int32_t NumSoftErrors;
    std::int32_t NumHardErrors;
    char PFA[4];  // up to three characters and the terminating NUL
    std::int32_t Misc;
};

// Finding formats: the prefix, the controller, channel and SCSI id, and but
// for the PFA line the count.
const char kPfaFormat[] = "%sController %d Channel %d Scsi ID %d reported a PFA error";
const char kParityFormat[] = "%sController %d Channel %d Scsi ID %d reported %d parity errors";
const char kSoftFormat[] = "%sController %d Channel %d Scsi ID %d reported %d soft errors";
const char kHardFormat[] = "%sController %d Channel %d Scsi ID %d reported %d hard errors";
const char kMiscFormat[] = "%sController %d Channel %d Scsi ID %d reported %d misc errors";

// Appended to the soft and misc lines of a device behind a clustered controller.
const char* const kSoftSuffix =
    ":  This adapter is currently part of a shared storage configuration.  These events are normal.";
const char* const kMiscSuffix =
    ":  This adapter is currently part of a shared storage configuration. These events are normal.";
const char* const kNoRecordMessage = "Unabled to allocate space for devErrors";

// Room for the prefix, the fixed words and four numbers of up to 11 characters.
const std::size_t kLineBufferSize = 256;

// Reads an integer property; false when the value is null.
bool ReadInt32(const boost::shared_ptr<ICIMInstance>& instance, const char* name, std::int32_t& number)
{
    std::string text;
    if (!ReadPropertyText(instance, name, text))
        return false;
    number = TextToInt32(text);
    return true;
}

// Whether the controller's PartOfCluster text contains "Yes"; a null value is not.
bool IsClustered(const boost::shared_ptr<ICIMInstance>& controller)
{
    std::string text;
    return ReadPropertyText(controller, "PartOfCluster", text) && text.find("Yes") != std::string::npos;
}

// Appends the number of every clustered controller, in list order.
void CollectSharedControllers(const TInstanceList& controllers, std::vector<std::int32_t>& shared)
{
    for (const boost::shared_ptr<ICIMInstance>& controller : controllers) {
        std::int32_t number = 0;
        if (IsClustered(controller) && ReadInt32(controller, "ControllerNum", number))
            shared.push_back(number);
    }
}

// Empties the controller stack from its end; each controller taken off adds
// the addresses of its disks, in disk-list order.
void CollectSharedDevices(const TInstanceList& disks, std::vector<std::int32_t>& controllers,
    std::vector<CollectedClusterControllersDevices>& devices)
{
    while (!controllers.empty()) {
        const std::int32_t controller = controllers.back();
        controllers.pop_back();
        for (const boost::shared_ptr<ICIMInstance>& disk : disks) {
            CollectedClusterControllersDevices device{0, 0, 0};
            if (!ReadInt32(disk, "ControllerNum", device.ControllerNum) || device.ControllerNum != controller)
                continue;
            if (!ReadInt32(disk, "Channel", device.Channel) || !ReadInt32(disk, "ScsiId", device.ScsiId))
                continue;
            devices.push_back(device);
        }
    }
}

// Holds the PFA text in the record's 4-byte field. A longer text is held as
// the empty text: cut to three characters it could read as "Yes" ("Yes1"),
// and it must never count as one.
void StorePFA(const std::string& text, DeviceErrorRecord& record)
{
    if (text.size() < sizeof record.PFA) {
        std::memcpy(record.PFA, text.data(), text.size());
        record.PFA[text.size()] = '\0';
    } else {
        record.PFA[0] = '\0';
    }
}

// Reads the eight properties in order; false at the first null value.
bool ReadDeviceErrorRecord(const boost::shared_ptr<ICIMInstance>& instance, DeviceErrorRecord& record)
{
    if (!ReadInt32(instance, "ControllerNum", record.ControllerNum) ||
        !ReadInt32(instance, "Channel", record.Channel) || !ReadInt32(instance, "ScsiId", record.ScsiId) ||
        !ReadInt32(instance, "NumParityErrors", record.NumParityErrors) ||
        !ReadInt32(instance, "NumSoftErrors", record.NumSoftErrors) ||
        !ReadInt32(instance, "NumHardErrors", record.NumHardErrors))
        return false;

    std::string pfa;
    if (!ReadPropertyText(instance, "PFA", pfa))
        return false;
    StorePFA(pfa, record);

    return ReadInt32(instance, "Misc", record.Misc);
}

// printf into a bounded buffer; a line too long for it is cut at its end.
[[gnu::format(printf, 1, 2)]] std::string FormatLine(const char* format, ...)
{
    char buffer[kLineBufferSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    return buffer;
}

// Logs the device's lines in order PFA, parity, soft, hard, misc; a shared
// device's soft and misc lines end with the shared-storage sentence.
void LogDeviceErrors(const std::string& prefix, const DeviceErrorRecord& record, bool shared)
{
    const char* const p = prefix.c_str();
    const std::int32_t c = record.ControllerNum;
    const std::int32_t ch = record.Channel;
    const std::int32_t id = record.ScsiId;
    if (std::strcmp(record.PFA, "Yes") == 0)
        LogLine(kLevelFinding, FormatLine(kPfaFormat, p, c, ch, id));
    if (record.NumParityErrors > 0)
        LogLine(kLevelFinding, FormatLine(kParityFormat, p, c, ch, id, record.NumParityErrors));
    if (record.NumSoftErrors > 0)
        LogLine(kLevelFinding,
            FormatLine(kSoftFormat, p, c, ch, id, record.NumSoftErrors) + (shared ? kSoftSuffix : ""));
    if (record.NumHardErrors > 0)
        LogLine(kLevelFinding, FormatLine(kHardFormat, p, c, ch, id, record.NumHardErrors));
    if (record.Misc > 0)
        LogLine(
            kLevelFinding, FormatLine(kMiscFormat, p, c, ch, id, record.Misc) + (shared ? kMiscSuffix : ""));
}

}  // namespace

void TTarvoAnalPluginCallbacks::TarvoEventLogAnalysys(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    const TInstanceList controllers = ClassInstances(ns, "QXRSG_tvSCSIProtocolController", context);
    const TInstanceList disks = ClassInstances(ns, "QXRSG_tvDiskDrive", context);

    std::vector<std::int32_t> sharedControllers;
    CollectSharedControllers(controllers, sharedControllers);
    std::vector<CollectedClusterControllersDevices> sharedDevices;
    CollectSharedDevices(disks, sharedControllers, sharedDevices);

    const TInstanceList devices = ClassInstances(ns, "QXRSG_tvSCSIDeviceData", context);

    for (const boost::shared_ptr<ICIMInstance>& device : devices) {
        // The record is released on every path, a host failure included.
        const std::unique_ptr<DeviceErrorRecord> record(new (std::nothrow) DeviceErrorRecord);
        if (!record) {
            // Only this device goes unreported: the next one may still get
            // its record, and its errors are worth the try.
            LogLine(kLevelWarning, kNoRecordMessage);
            continue;
        }
        if (!ReadDeviceErrorRecord(device, *record))
            continue;
        const CollectedClusterControllersDevices address{
            record->ControllerNum, record->Channel, record->ScsiId};
        const bool shared =
            std::find(sharedDevices.begin(), sharedDevices.end(), address) != sharedDevices.end();
        LogDeviceErrors(ReportPrefix, *record, shared);
    }
}

}  // namespace tarvoanal
