// The generated machine: controllers, BIOS records, PCI devices, packages,
// disks, device records and bad stripes, around the event log.
#include "inventory_generator.hpp"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "json_text.hpp"

namespace tarvobench {

namespace {

// Where a disk or a device sits: disks are spread evenly over the
// controllers, sixteen SCSI ids to a channel.
struct TAddress {
    long long fController;
    long long fChannel;
    long long fScsiId;
};

TAddress AddressOf(std::size_t index, const TInventorySize& size)
{
    const std::size_t controllers = size.fControllers == 0 ? 1 : size.fControllers;
    const std::size_t perController = (size.fDisks + controllers - 1) / controllers;
    const std::size_t slot = perController == 0 ? index : index % perController;
    const std::size_t controller = perController == 0 ? 0 : (index / perController) % controllers;
    return {static_cast<long long>(controller + 1), static_cast<long long>(slot / 16),
        static_cast<long long>(slot % 16)};
}

// A controller is in a cluster, which gives its devices the shared-storage
// note, when it is the first or every eighth.
bool IsClustered(std::size_t controller)
{
    return controller == 0 || controller % 8 == 3;
}

// What the controllers and their BIOS records say, decided once so that the
// two classes agree.
struct TController {
    std::string fModel;
    std::string fDriver;
    std::string fBios;
    bool fScrubbingOff;
    const char* fCluster;
};

std::vector<TController> MakeControllers(TRandom& random, std::size_t count)
{
    const char* const kModels[] = {"Model 6", "Model 7", "Model 5400S", "Model 2810SA", "Tarvolith 4m"};
    std::vector<TController> controllers;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned build = 14 + static_cast<unsigned>(i % 80);
        TController controller;
        controller.fModel = i == 0 ? "Model 6" : random.Pick(kModels);
        if (i != 0 && random.Chance(150)) {
            // The older family compares two digits after the full stop.
            controller.fDriver = Format("4.10.%u", 300 + build);
            controller.fBios = "4.10";
        } else if (i == 0 || random.Chance(125)) {
            controller.fDriver = Format("7.00.%u", build);
            controller.fBios = "7.12";  // disagrees with the driver
        } else {
            controller.fDriver = Format("7.02.%u", build);
            controller.fBios = "7.02";
        }
        controller.fScrubbingOff = i == 0 || random.Chance(170);
        controller.fCluster = i == 0 ? "Yes (active)" : IsClustered(i) ? "Yes" : "No";
        controllers.push_back(controller);
    }
    return controllers;
}

void WriteControllers(TJsonText& out, const std::vector<TController>& controllers, bool& firstClass)
{
    TClassArray array(out, "QXRSG_tvSCSIProtocolController", firstClass);
    long long number = 0;
    for (const TController& controller : controllers) {
        ++number;
        array.NextInstance()
            .Member("ControllerNum", number)
            .Raw(",")
            .Member("ControllerType", controller.fModel)
            .Raw(",")
            .Member("Name", Format("Tarvolith controller %lld", number))
            .Raw(",")
            .Member("DeviceDriverVersion", controller.fDriver)
            .Raw(",")
            .Key("VendorID")
            .Raw("{\"uint16\":\"0x9005\"},")
            .Key("PciDeviceID")
            .Raw(number % 3 == 0 ? "{\"uint16\":\"0x0286\"}," : "{\"uint16\":\"0x0285\"},")
            .Member("DataScrubbing", controller.fScrubbingOff ? "Disabled" : "Enabled")
            .Raw(",")
            .Member("PartOfCluster", controller.fCluster)
            .Raw(",")
            .Member("Status", "OK")
            .Raw("}");
    }
}

void WriteBiosRecords(TJsonText& out, const std::vector<TController>& controllers, bool& firstClass)
{
    TClassArray array(out, "QXRSG_tvBiosVersion", firstClass);
    long long number = 0;
    for (const TController& controller : controllers) {
        ++number;
        array.NextInstance()
            .Member("Name", Format("Tarvolith%lld BIOS", number))
            .Raw(",")
            .Member("Version", controller.fBios)
            .Raw(",")
            .Member("Manufacturer", "QXR")
            .Raw("}");
    }
}

void WritePciDevices(TJsonText& out, TRandom& random, std::size_t count, bool& firstClass)
{
    struct TPci {
        const char* fVendor;
        const char* fDevice;
        const char* fName;
    };
    const TPci kDevices[] = {
        {"0x8086", "0x1237", "Host bridge"},
        {"0x8086", "0x7010", "IDE interface"},
        {"0x8086", "0x100e", "Ethernet controller"},
        {"0x1022", "0x1480", "Root complex"},
        {"0x10de", "0x1eb8", "3D controller"},
        {"0x14e4", "0x165f", "Ethernet controller"},
        {"0x1000", "0x0097", "Serial attached SCSI controller"},
    };
    TClassArray array(out, "QXRSG_PCIDevice", firstClass);
    for (std::size_t i = 0; i < count; ++i) {
        const bool adapter = i % 50 == 7;
        const TPci& pci = adapter ? TPci{"0x9005", "0x0285", "RAID bus controller"} : random.Pick(kDevices);
        TJsonText& instance = array.NextInstance();
        instance.Key("VendorID").Raw("{\"uint16\":").String(pci.fVendor).Raw("},");
        // Some inventories write the identifiers as decimal numbers.
        if (i % 4 == 1)
            instance.Key("PciDeviceID")
                .Raw("{\"uint16\":")
                .Number(std::stoll(pci.fDevice, nullptr, 16))
                .Raw("},");
        else
            instance.Key("PciDeviceID").Raw("{\"uint16\":").String(pci.fDevice).Raw("},");
        instance.Member("Name", pci.fName)
            .Raw(",")
            .Member("BusNumber", static_cast<long long>(i / 32))
            .Raw(",")
            .Member("DeviceNumber", static_cast<long long>(i % 32))
            .Raw(",")
            .Member("FunctionNumber", 0)
            .Raw("}");
    }
}

void WritePackages(TJsonText& out, TRandom& random, std::size_t count, bool linuxHost, bool& firstClass)
{
    const char* const kRpms[] = {"bash-5.2.15-%u.el9", "openssh-server-9.2p1-%u", "glibc-2.36-%u.x86_64",
        "kernel-5.14.0-%u.el9", "python3-libs-3.11.%u", "NetworkManager-1.42.%u", "systemd-252-%u.el9",
        "perl-Storable-3.%u"};
    const char* const kApplications[] = {"Microsoft Visual C++ 2015 Redistributable (x64) - 14.0.%u",
        "Adobe Acrobat Reader DC (build %u)", "Intel(R) Network Connections %u.1", "7-Zip 19.%02u (x64)",
        "Java 8 Update %u", "HP Insight Diagnostics Online Edition %u", "Windows Driver Package - Intel %u",
        "Mozilla Firefox (x64 en-US) %u.0"};
    const char* const kVendors[] = {
        "Microsoft Corporation", "Red Hat, Inc.", "Intel Corporation", "Oracle", "Mozilla", "Igor Pavlov"};
    TClassArray array(out, linuxHost ? "QXRSG_InstalledRPM" : "QXRSG_InstalledApplication", firstClass);
    for (std::size_t i = 0; i < count; ++i) {
        const char* pattern = linuxHost ? random.Pick(kRpms) : random.Pick(kApplications);
        array.NextInstance()
            .Member("ProductName", Format(pattern, static_cast<unsigned>(i)))
            .Raw(",")
            .Member("Vendor", random.Pick(kVendors))
            .Raw(",")
            .Member("InstallDate",
                Format("2023%02u%02u", 1 + static_cast<unsigned>(i % 12), 1 + static_cast<unsigned>(i % 28)))
            .Raw("}");
    }
}

std::string SerialNumber(TRandom& random)
{
    const char kCharacters[] = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    std::string serial;
    for (int k = 0; k < 8; ++k)
        serial.push_back(kCharacters[random.Below(sizeof kCharacters - 1)]);
    return serial;
}

void WriteDisks(TJsonText& out, TRandom& random, const TInventorySize& size, bool& firstClass)
{
    const char* const kSupported[] = {
        "QXR-WVT 9.1G", "QXR-HMLO 36G", "QXR-YDKQ 73G", "qxr-wvt 18G", "QXR-HMLO 146G"};
    const char* const kUnsupported[] = {"XD4410-146", "ST336607LC", "MAW3073NC", "HUS151473VL"};
    const char* const kFirmware[] = {"B1A0", "0007", "C3B2", "HPB4", "0112"};
    TClassArray array(out, "QXRSG_tvDiskDrive", firstClass);
    for (std::size_t i = 0; i < size.fDisks; ++i) {
        const TAddress address = AddressOf(i, size);
        const bool hardDisk = i == 0 || !random.Chance(40);
        const char* type = hardDisk ? "Hard disk" : random.Chance(500) ? "CD-ROM" : "Tape";
        const char* code = i == 0 || random.Chance(30) ? random.Pick(kUnsupported) : random.Pick(kSupported);
        array.NextInstance()
            .Member("DeviceType", type)
            .Raw(",")
            .Member("DeviceCode", code)
            .Raw(",")
            .Member("DeviceSerialNum", SerialNumber(random))
            .Raw(",")
            .Member("ControllerNum", address.fController)
            .Raw(",")
            .Member("Channel", address.fChannel)
            .Raw(",")
            .Member("ScsiId", address.fScsiId)
            .Raw(",")
            .Member("Capacity", static_cast<long long>(9100 + random.Below(140000)) * 1000000)
            .Raw(",")
            .Key("@associations")
            .Raw("{")
            .Key("QXRSG_tvDiskDriveVersion")
            .Raw("[{")
            .Member("Version", random.Pick(kFirmware))
            .Raw("}]}}");
    }
}

void WriteDeviceData(TJsonText& out, TRandom& random, const TInventorySize& size, bool& firstClass)
{
    TClassArray array(out, "QXRSG_tvSCSIDeviceData", firstClass);
    for (std::size_t i = 0; i < size.fDevices; ++i) {
        const TAddress address = AddressOf(size.fDisks == 0 ? i : i % size.fDisks, size);
        long long parity = 0, soft = 0, hard = 0, misc = 0;
        bool pfa = false;
        if (i == 0) {
            // On the clustered first controller: its soft and misc lines carry
            // the shared-storage note.
            soft = 2;
            misc = 1;
            pfa = true;
        } else if (random.Chance(40)) {
            parity = random.Chance(300) ? static_cast<long long>(random.Below(5)) : 0;
            soft = static_cast<long long>(random.Below(12));
            hard = random.Chance(200) ? static_cast<long long>(random.Below(3)) : 0;
            misc = random.Chance(300) ? static_cast<long long>(random.Below(4)) : 0;
            pfa = random.Chance(100);
        }
        array.NextInstance()
            .Member("ControllerNum", address.fController)
            .Raw(",")
            .Member("Channel", address.fChannel)
            .Raw(",")
            .Member("ScsiId", address.fScsiId)
            .Raw(",")
            .Member("NumParityErrors", parity)
            .Raw(",")
            .Member("NumSoftErrors", soft)
            .Raw(",")
            .Member("NumHardErrors", hard)
            .Raw(",")
            .Member("PFA", pfa ? "Yes" : "No")
            .Raw(",")
            .Member("Misc", misc)
            .Raw("}");
    }
}

void WriteBadStripes(TJsonText& out, TRandom& random, const TInventorySize& size, bool& firstClass)
{
    TClassArray array(out, "QXRSG_BadStripeData", firstClass);
    const std::size_t controllers = size.fControllers == 0 ? 1 : size.fControllers;
    for (std::size_t i = 0; i < size.fBadStripes; ++i) {
        const long long count = i == 0 ? 12
            : random.Chance(150)       ? static_cast<long long>(1 + random.Below(40))
                                       : 0;
        array.NextInstance()
            .Member("ControllerNum", static_cast<long long>(1 + i % controllers))
            .Raw(",")
            .Member("LogicalDrive", static_cast<long long>(i / controllers))
            .Raw(",")
            // The count is a text in the host's records.
            .Member("NumBadStripes", std::to_string(count))
            .Raw("}");
    }
}

}  // namespace

TInventorySize TInventorySize::Scaled(double factor) const
{
    const auto scale = [factor](std::size_t count) -> std::size_t {
        if (count == 0)
            return 0;
        const double scaled = std::round(static_cast<double>(count) * factor);
        return scaled < 1 ? 1 : static_cast<std::size_t>(scaled);
    };
    TInventorySize size;
    size.fEvents = scale(fEvents);
    size.fPackages = scale(fPackages);
    size.fControllers = scale(fControllers);
    size.fDisks = scale(fDisks);
    size.fDevices = scale(fDevices);
    size.fPciDevices = scale(fPciDevices);
    size.fBadStripes = scale(fBadStripes);
    return size;
}

void GenerateInventory(const TGeneratorOptions& options, const TTextWriter& write)
{
    const TInventorySize& size = options.fSize;
    // Each class draws from its own stream, so that changing one count leaves
    // the other classes as they were.
    const auto stream = [&options](
                            std::uint64_t salt) { return TRandom(options.fSeed * 0x100000001B3ull + salt); };

    TJsonText out(write);
    out.Raw("{\n  ")
        .Member("_about",
            Format("generated inventory, seed %llu: %zu controllers, %zu disks, %zu device records, %zu "
                   "event-log "
                   "records, %zu packages, %zu PCI devices, %zu bad-stripe records",
                static_cast<unsigned long long>(options.fSeed), size.fControllers, size.fDisks, size.fDevices,
                size.fEvents, size.fPackages, size.fPciDevices, size.fBadStripes))
        .Raw(",\n  ")
        .Member("operatingSystemType", options.fLinuxHost ? 36 : 18)
        .Raw(",\n  ")
        .Key("classes")
        .Raw("{");
    bool firstClass = true;
    TRandom controllerRandom = stream(1);
    const std::vector<TController> controllers = MakeControllers(controllerRandom, size.fControllers);
    WriteControllers(out, controllers, firstClass);
    WriteBiosRecords(out, controllers, firstClass);
    TRandom pciRandom = stream(2);
    WritePciDevices(out, pciRandom, size.fPciDevices, firstClass);
    TRandom packageRandom = stream(3);
    WritePackages(out, packageRandom, size.fPackages, options.fLinuxHost, firstClass);
    TRandom diskRandom = stream(4);
    WriteDisks(out, diskRandom, size, firstClass);
    TRandom deviceRandom = stream(5);
    WriteDeviceData(out, deviceRandom, size, firstClass);
    TRandom stripeRandom = stream(6);
    WriteBadStripes(out, stripeRandom, size, firstClass);
    TRandom eventRandom = stream(7);
    WriteEvents(out, eventRandom, size.fEvents, options.fEventHeavy, firstClass);
    out.Raw("\n  }\n}\n");
}

std::string GenerateInventoryText(const TGeneratorOptions& options)
{
    std::string text;
    GenerateInventory(options, [&text](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

}  // namespace tarvobench