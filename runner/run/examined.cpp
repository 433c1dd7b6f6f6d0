// Counts what an inventory holds for the plug-in, before the plug-in runs.
// The inventory is read through the host objects the plug-in reads it
// through, with nobody watching, so that a value is what the plug-in would
// have been given: a class the inventory lacks, a property that fails and a
// null all leave the value unknown.
#include "examined.hpp"

#include <charconv>

#include "adapter_family.hpp"
#include "examined_places.hpp"
#include "host_observer.hpp"
#include "hvp_host.hpp"
#include "model.hpp"

namespace tarvorun {

namespace hvp = NQXRHVP20;
namespace standin = NQXRHVP20::standin;

namespace {

using TInstance = boost::shared_ptr<hvp::ICIMInstance>;
using TInstances = std::vector<TInstance>;

// Takes the host's observers away while the runner reads for itself: its
// reads are neither calls of the plug-in nor what a finding is about.
class TUnobserved {
public:
    TUnobserved() : fCalls(standin::GetHostObserver()), fReads(standin::GetInstanceReadObserver())
    {
        standin::SetHostObserver(nullptr);
        standin::SetInstanceReadObserver(nullptr);
    }
    ~TUnobserved()
    {
        standin::SetHostObserver(fCalls);
        standin::SetInstanceReadObserver(fReads);
    }
    TUnobserved(const TUnobserved&) = delete;
    TUnobserved& operator=(const TUnobserved&) = delete;

private:
    standin::IHostObserver* fCalls;
    standin::IInstanceReadObserver* fReads;
};

// The instances of a class, none when the host cannot deliver them.
TInstances Instances(hvp::ICIMNamespace& ns, const std::string& name)
{
    TInstances list;
    try {
        const boost::shared_ptr<hvp::ICIMClass> found = ns.GetClass(name, hvp::TCIMContext());
        if (found)
            found->EnumerateInstances(
                [&](const TInstance& instance) {
                    list.push_back(instance);
                    return true;
                },
                true);
    } catch (const std::exception&) {
        // A class the host cannot deliver counts as none.
    }
    return list;
}

// A property's value, unless the host cannot give it or it is null.
std::optional<hvp::TCIMValue> Value(const TInstance& instance, const std::string& name)
{
    try {
        const boost::shared_ptr<hvp::ICIMProperty> property = instance->GetProperty(name);
        if (!property)
            return std::nullopt;
        hvp::TCIMValue value = property->GetValue();
        if (value.IsNull())
            return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> Text(const TInstance& instance, const std::string& name)
{
    const std::optional<hvp::TCIMValue> value = Value(instance, name);
    return value ? std::optional<std::string>(value->ToString(10)) : std::nullopt;
}

// A number only where the whole text is one: a count or an address that
// does not read as a number is not known.
std::optional<long long> Number(const TInstance& instance, const std::string& name)
{
    const std::optional<std::string> text = Text(instance, name);
    if (!text || text->empty())
        return std::nullopt;
    long long number = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, number);
    return error == std::errc() && stop == end ? std::optional<long long>(number) : std::nullopt;
}

bool IsUInt16(const std::optional<hvp::TCIMValue>& value)
{
    return value && static_cast<hvp::ECIMType>(value->GetType()) == hvp::kCIMTypeUInt16;
}

// Whether a PCI function is an adapter of the family, its ids read as the
// management-software check reads them: unsigned 16-bit values.
bool IsAdapter(const TInstance& function)
{
    const std::optional<hvp::TCIMValue> vendor = Value(function, "VendorID");
    const std::optional<hvp::TCIMValue> device = Value(function, "PciDeviceID");
    return IsUInt16(vendor) && IsUInt16(device) &&
        tarvocollect::IsFamilyAdapterId(
            static_cast<unsigned short>(*vendor), static_cast<unsigned short>(*device));
}

// A comment member of an instance, parsed; empty unless it is an object.
std::optional<TRecord> CommentObject(
    const standin::TInventory& inventory, const char* className, std::size_t place)
{
    const std::string_view text = inventory.InstanceComment(className, place, "_linux");
    if (text.empty())
        return std::nullopt;
    TRecord parsed = TRecord::parse(text, nullptr, false);
    return parsed.is_object() ? std::optional<TRecord>(std::move(parsed)) : std::nullopt;
}

TExaminedController ReadController(const standin::TInventory& inventory, const TInstance& instance,
    std::size_t place, const TInstances& bioses)
{
    TExaminedController controller;
    controller.fController = Number(instance, "ControllerNum");
    controller.fModel = Text(instance, "ControllerType");
    controller.fDriverVersion = Text(instance, "DeviceDriverVersion");
    // The BIOS record is the one the version check pairs with the
    // controller: named after the number's text.
    if (const std::optional<std::string> number = Text(instance, "ControllerNum"))
        for (const TInstance& bios : bioses)
            if (Text(bios, "Name") == "Tarvolith" + *number + " BIOS") {
                controller.fBiosVersion = Text(bios, "Version");
                break;
            }
    if (const std::optional<TRecord> inLinux =
            CommentObject(inventory, "QXRSG_tvSCSIProtocolController", place)) {
        const auto address = inLinux->find("pciAddress");
        if (address != inLinux->end() && address->is_string())
            controller.fPciAddress = address->get<std::string>();
    }
    return controller;
}

TExaminedDisk ReadDisk(const standin::TInventory& inventory, const TInstance& instance, std::size_t place)
{
    TExaminedDisk disk;
    disk.fController = Number(instance, "ControllerNum");
    disk.fChannel = Number(instance, "Channel");
    disk.fScsiId = Number(instance, "ScsiId");
    disk.fDeviceCode = Text(instance, "DeviceCode");
    disk.fSerial = Text(instance, "DeviceSerialNum");
    TInstances versions;
    try {
        instance->EnumerateAssociatedInstances(
            [&](const TInstance& version) {
                versions.push_back(version);
                return true;
            },
            std::string(), "QXRSG_tvDiskDriveVersion", std::string(), std::string());
    } catch (const std::exception&) {
        // No version record: the firmware is not known.
    }
    if (!versions.empty())
        disk.fFirmware = Text(versions.front(), "Version");
    disk.fLinux = CommentObject(inventory, "QXRSG_tvDiskDrive", place);
    return disk;
}

// Where the disk at a device-data instance's address is among the disks;
// an address that is not wholly known names none.
std::optional<std::size_t> DiskAt(const std::vector<TExaminedDisk>& disks, const TInstance& data)
{
    const std::optional<long long> controller = Number(data, "ControllerNum");
    const std::optional<long long> channel = Number(data, "Channel");
    const std::optional<long long> scsiId = Number(data, "ScsiId");
    if (!controller || !channel || !scsiId)
        return std::nullopt;
    for (std::size_t i = 0; i < disks.size(); ++i)
        if (disks[i].fController == controller && disks[i].fChannel == channel && disks[i].fScsiId == scsiId)
            return i;
    return std::nullopt;
}

bool HasEveryCount(const TInstance& data)
{
    for (const char* count : {"NumParityErrors", "NumSoftErrors", "NumHardErrors", "PFA", "Misc"})
        if (!Value(data, count))
            return false;
    return true;
}

}  // namespace

TExamined CountExamined(const standin::TInventory& inventory, TExaminedPlaces& places)
{
    const TUnobserved unobserved;
    // The namespace keeps the inventory alive; this one is the caller's.
    const std::shared_ptr<const standin::TInventory> borrowed(&inventory, [](const standin::TInventory*) {});
    const boost::shared_ptr<hvp::ICIMNamespace> ns = standin::MakeInventoryNamespace(borrowed);
    TExamined examined;
    places = TExaminedPlaces();

    const TInstances functions = Instances(*ns, "QXRSG_PCIDevice");
    examined.fPciFunctions = functions.size();
    for (const TInstance& function : functions)
        examined.fAdapters += IsAdapter(function) ? 1 : 0;

    const TInstances controllers = Instances(*ns, "QXRSG_tvSCSIProtocolController");
    const TInstances bioses = controllers.empty() ? TInstances() : Instances(*ns, "QXRSG_tvBiosVersion");
    for (std::size_t place = 0; place < controllers.size(); ++place)
        examined.fControllers.push_back(ReadController(inventory, controllers[place], place, bioses));

    const TInstances drives = Instances(*ns, "QXRSG_tvDiskDrive");
    for (std::size_t place = 0; place < drives.size(); ++place) {
        std::optional<std::size_t>& index = places.fDiskOfDrive.emplace_back();
        if (Text(drives[place], "DeviceType") != "Hard disk")
            continue;
        index = examined.fDisks.size();
        examined.fDisks.push_back(ReadDisk(inventory, drives[place], place));
    }

    for (const TInstance& data : Instances(*ns, "QXRSG_tvSCSIDeviceData")) {
        const std::optional<std::size_t> disk = DiskAt(examined.fDisks, data);
        places.fDiskOfDeviceData.push_back(disk);
        if (disk && HasEveryCount(data))
            examined.fDisks[*disk].fCountsKnown = true;
    }

    examined.fPackages =
        Instances(*ns, "QXRSG_InstalledRPM").size() + Instances(*ns, "QXRSG_InstalledApplication").size();
    examined.fEventLogRecords = Instances(*ns, "QXRSG_WindowsSystemEventLogRecord").size();
    return examined;
}

TExamined CountExamined(const standin::TInventory& inventory)
{
    TExaminedPlaces places;
    return CountExamined(inventory, places);
}

}  // namespace tarvorun
