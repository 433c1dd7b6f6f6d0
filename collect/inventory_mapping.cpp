// Every property the analyses read is written, null where Linux cannot tell
// it, so that a collected inventory never makes an analysis miss a class or a
// property. What is null and why is listed in the README.
#include "inventory_mapping.hpp"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

namespace tarvocollect {

namespace {

using TJson = nlohmann::ordered_json;

// The uint16 literal form, in hexadecimal as lspci shows identifiers.
TJson Uint16(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return TJson{{"uint16", text}};
}

template <typename T> TJson OrNull(const std::optional<T>& value)
{
    return value ? TJson(*value) : TJson(nullptr);
}

TJson OrNull(const std::optional<std::uint16_t>& value)
{
    return value ? Uint16(*value) : TJson(nullptr);
}

TJson PciDevice(const TPciFunction& function)
{
    return TJson{{"VendorID", Uint16(function.fVendorId)}, {"PciDeviceID", Uint16(function.fDeviceId)}};
}

TJson Package(const TPackage& package)
{
    return TJson{
        {"ProductName", package.fVersion.empty() ? package.fName : package.fName + " " + package.fVersion}};
}

// Adds `member` to the comment object `where` when it is known.
void AddKnown(TJson& where, const char* member, const std::string& value)
{
    if (!value.empty())
        where[member] = value;
}

// The data scrubbing setting and the cluster membership are known only to
// the adapter's management software. Where the controller sits in Linux
// is a comment, which the plug-in never sees.
TJson Controller(const TScsiHost& host)
{
    TJson controller{{"ControllerType", OrNull(host.fModel)}, {"ControllerNum", host.fNumber},
        {"DeviceDriverVersion", OrNull(host.fDriverVersion)}, {"DataScrubbing", nullptr},
        {"PartOfCluster", nullptr}, {"VendorID", OrNull(host.fVendorId)},
        {"PciDeviceID", OrNull(host.fDeviceId)}};
    TJson where = TJson::object();
    AddKnown(where, "pciAddress", host.fPciAddress);
    if (!where.empty())
        controller["_linux"] = where;
    return controller;
}

TJson Disk(const TScsiDevice& device)
{
    TJson disk{
        {"DeviceType", device.fPeripheralType ? TJson(DeviceTypeText(*device.fPeripheralType)) : TJson()},
        {"DeviceCode", OrNull(device.fModel)}, {"DeviceSerialNum", OrNull(device.fSerialNumber)},
        {"ControllerNum", device.fHost}, {"Channel", device.fChannel}, {"ScsiId", device.fTarget}};
    TJson version = TJson::object();
    version["Version"] = OrNull(device.fRevision);
    disk["@associations"]["QXRSG_tvDiskDriveVersion"] = TJson::array({version});
    // What Linux tells of where the disk sits, as far as it tells it.
    TJson where = TJson::object();
    AddKnown(where, "block", device.fBlockName);
    AddKnown(where, "generic", device.fGenericName);
    AddKnown(where, "byId", device.fStableName);
    AddKnown(where, "slot", device.fSlot);
    if (!where.empty())
        disk["_linux"] = where;
    return disk;
}

// The BIOS record is named as the analyses look it up for the controller.
TJson Bios(const TScsiHost& host)
{
    return TJson{{"Name", "Tarvolith" + std::to_string(host.fNumber) + " BIOS"},
        {"Version", OrNull(host.fBiosRevision)}};
}

// Only counts the disk or the SCSI layer keeps are written; see the README
// for what each property means here.
TJson DeviceData(const TScsiDevice& device)
{
    const TDiskHealth& health = device.fHealth;
    return TJson{{"ControllerNum", device.fHost}, {"Channel", device.fChannel}, {"ScsiId", device.fTarget},
        {"NumParityErrors", OrNull(health.fTransport)}, {"NumSoftErrors", OrNull(health.fCorrected)},
        {"NumHardErrors", OrNull(health.fUncorrected)},
        {"PFA", health.fPassed ? TJson(*health.fPassed ? "No" : "Yes") : TJson()},
        {"Misc", OrNull(device.fIoTimeouts)}};
}

TJson Machine(const TMachineIdentity& machine)
{
    return TJson{{"hostname", OrNull(machine.fHostname)}, {"machineId", OrNull(machine.fMachineId)},
        {"collectedAt", OrNull(machine.fCollectedAt)}, {"kernelRelease", OrNull(machine.fKernelRelease)},
        {"productName", OrNull(machine.fProductName)}, {"productSerial", OrNull(machine.fProductSerial)}};
}

std::string Dump(const TJson& value)
{
    return value.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

// One class: its instances one a line.
void AppendClass(std::string& text, const char* name, const std::vector<TJson>& instances, bool last)
{
    text += "    \"";
    text += name;
    text += "\": [";
    for (std::size_t i = 0; i < instances.size(); ++i) {
        text += i == 0 ? "\n      " : ",\n      ";
        text += Dump(instances[i]);
    }
    text += instances.empty() ? "]" : "\n    ]";
    text += last ? "\n" : ",\n";
}

}  // namespace

bool IsFamilyAdapter(const TScsiHost& host)
{
    if (!host.fVendorId || !host.fDeviceId)
        return false;
    return IsFamilyAdapterId(*host.fVendorId, *host.fDeviceId);
}

bool IsLogicalDrive(const TScsiDevice& device)
{
    return device.fPeripheralType == 0 && device.fAttachedByDiskDriver && device.fChannel == 0;
}

bool IsPhysicalDisk(const TScsiDevice& device, const std::vector<TScsiHost>& hosts)
{
    const bool onFamilyHost = std::any_of(hosts.begin(), hosts.end(),
        [&](const TScsiHost& host) { return host.fNumber == device.fHost && IsFamilyAdapter(host); });
    return onFamilyHost && device.fPeripheralType == 0 && !IsLogicalDrive(device);
}

std::string DeviceTypeText(int peripheralType)
{
    switch (peripheralType) {
    case 0x00:
        return "Hard disk";
    case 0x01:
        return "Tape";
    case 0x03:
        return "Processor";
    case 0x05:
        return "CD-ROM";
    case 0x07:
        return "Optical disk";
    case 0x08:
        return "Medium changer";
    case 0x0c:
        return "Storage array controller";
    case 0x0d:
        return "Enclosure";
    default:
        return "SCSI device type " + std::to_string(peripheralType);
    }
}

std::string InventoryJson(const TMachineRecords& records, const std::vector<std::string>& problems)
{
    std::vector<TJson> pci;
    for (const TPciFunction& function : records.fPciFunctions)
        pci.push_back(PciDevice(function));
    std::vector<TJson> packages;
    for (const TPackage& package : records.fPackages)
        packages.push_back(Package(package));
    std::vector<TJson> controllers;
    std::vector<TJson> bioses;
    std::set<int> familyHosts;
    for (const TScsiHost& host : records.fScsiHosts)
        if (IsFamilyAdapter(host)) {
            controllers.push_back(Controller(host));
            bioses.push_back(Bios(host));
            familyHosts.insert(host.fNumber);
        }
    std::vector<TJson> disks;
    std::vector<TJson> deviceData;
    for (const TScsiDevice& device : records.fScsiDevices) {
        if (familyHosts.count(device.fHost) == 0 || IsLogicalDrive(device))
            continue;
        disks.push_back(Disk(device));
        if (IsPhysicalDisk(device, records.fScsiHosts))
            deviceData.push_back(DeviceData(device));
    }

    std::string text = "{\n  \"_about\": \"the inventory of a Linux machine, as hvp-collect read it\",\n";
    text += "  \"_machine\": " + Dump(Machine(records.fMachine)) + ",\n";
    if (!problems.empty())
        text += "  \"_problems\": " + Dump(TJson(problems)) + ",\n";
    text += "  \"operatingSystemType\": " + std::to_string(records.fOperatingSystemType) + ",\n";
    text += "  \"classes\": {\n";
    // Linux has no bad stripe counts, no installed-application list apart
    // from the packages, and no Windows event log.
    const std::vector<TJson> none;
    AppendClass(text, "QXRSG_PCIDevice", pci, false);
    AppendClass(text, "QXRSG_InstalledRPM", packages, false);
    AppendClass(text, "QXRSG_InstalledApplication", none, false);
    AppendClass(text, "QXRSG_tvSCSIProtocolController", controllers, false);
    AppendClass(text, "QXRSG_tvBiosVersion", bioses, false);
    AppendClass(text, "QXRSG_tvDiskDrive", disks, false);
    AppendClass(text, "QXRSG_tvSCSIDeviceData", deviceData, false);
    AppendClass(text, "QXRSG_BadStripeData", none, false);
    AppendClass(text, "QXRSG_WindowsSystemEventLogRecord", none, true);
    text += "  }\n}\n";
    return text;
}

}  // namespace tarvocollect
