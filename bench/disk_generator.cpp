// The generated machine's disks: the disks with their firmware records, the
// device records with their error counts, and the bad stripes, each at an
// address spread evenly over the controllers.
#include <cstdio>
#include <string>

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

std::string SerialNumber(TRandom& random)
{
    const char kCharacters[] = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    std::string serial;
    for (int k = 0; k < 8; ++k)
        serial.push_back(kCharacters[random.Below(sizeof kCharacters - 1)]);
    return serial;
}

// Where a disk or a device sits, as its three members.
TJsonText& AddressMembers(TJsonText& out, const TAddress& address)
{
    return out.Member("ControllerNum", address.fController)
        .Raw(",")
        .Member("Channel", address.fChannel)
        .Raw(",")
        .Member("ScsiId", address.fScsiId);
}

}  // namespace

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
        TJsonText& disk = array.NextInstance()
                              .Member("DeviceType", type)
                              .Raw(",")
                              .Member("DeviceCode", code)
                              .Raw(",")
                              .Member("DeviceSerialNum", SerialNumber(random))
                              .Raw(",");
        AddressMembers(disk, address)
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
        AddressMembers(array.NextInstance(), address)
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

}  // namespace tarvobench
