// The generated machine: controllers, BIOS records, PCI devices and
// packages, around the disks (disk_generator.cpp) and the event log
// (event_log_generator.cpp).
#include "inventory_generator.hpp"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "json_text.hpp"

namespace tarvobench {

namespace {

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