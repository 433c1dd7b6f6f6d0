// The mapping from records to the inventory document, its expected document
// written by hand (adapter_machine.json). That what a Linux machine cannot
// tell never makes an analysis miss a class or a property is shown by the
// recorded machines: hvp-run over each of their collections logs exactly the
// lines of its findings.json (collection_test).
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "text_files.hpp"
#include "inventory_mapping.hpp"

namespace {

using namespace tarvocollect;
using nlohmann::json;

// The document without its comment members.
json Classes(const std::string& text)
{
    json document = json::parse(text);
    for (auto it = document.begin(); it != document.end();)
        it = it.key()[0] == '_' ? document.erase(it) : std::next(it);
    return document;
}

TScsiDevice Device(int host, int channel, int target, std::optional<int> type, const char* model,
    std::optional<std::string> serial)
{
    TScsiDevice device;
    device.fHost = host;
    device.fChannel = channel;
    device.fTarget = target;
    device.fPeripheralType = type;
    device.fModel.emplace(model);
    device.fRevision.emplace("R1");
    device.fSerialNumber = std::move(serial);
    return device;
}

TMachineRecords AdapterMachine()
{
    TMachineRecords records;
    records.fPciFunctions = {{0, 0, 0, 0, 0x8086, 0x1237}, {0, 3, 0, 0, 0x9005, 0x0286}};
    records.fPackages = {{"bash", "5.2.15-2+b2"}, {"zsh", ""}};
    // Filled in place: copies of a host upset the compiler's
    // maybe-uninitialized analysis of its optional text.
    records.fScsiHosts.resize(3);
    TScsiHost& adapter = records.fScsiHosts[0];
    adapter.fNumber = 4;
    adapter.fVendorId = 0x9005;
    adapter.fDeviceId = 0x0286;
    adapter.fDriverVersion.emplace("1.2.1");
    adapter.fModel.emplace("Model 6");
    adapter.fBiosRevision.emplace("1.3.0");
    TScsiHost& other = records.fScsiHosts[1];
    other.fNumber = 5;
    other.fVendorId = 0x8086;
    other.fDeviceId = 0x2922;
    records.fScsiHosts[2].fNumber = 6;  // not behind a PCI function
    // A logical drive (attached by the disk driver on channel 0) and a
    // physical disk whose own counters and the SCSI layer's are known.
    TScsiDevice logical = Device(4, 0, 0, 0, "Volume 1", std::nullopt);
    logical.fAttachedByDiskDriver = true;
    logical.fIoTimeouts = 9;
    TScsiDevice disk = Device(4, 0, 2, 0, "XD4410-146", std::string("SN1"));
    disk.fHealth = {false, 4, 2, 0};
    disk.fIoTimeouts = 1;
    records.fScsiDevices = {logical, disk, Device(4, 1, 0, 8, "Changer", std::nullopt),
        Device(4, 1, 1, std::nullopt, "Odd", std::nullopt), Device(5, 0, 0, 0, "QXR-WVT 9.1G", std::nullopt),
        Device(6, 0, 0, 0, "QXR-WVT 9.1G", std::nullopt)};
    return records;
}

TEST(CollectInventoryMapping, GoldenAdapterMachine)
{
    EXPECT_EQ(Classes(InventoryJson(AdapterMachine(), {})),
        Classes(tarvotest::ReadFile(TARVOCOLLECT_ADAPTER_MACHINE)));
}

TEST(CollectInventoryMapping, MachineIdentityWithNullForWhatCannotBeTold)
{
    TMachineRecords records;
    records.fMachine.fHostname = "db01";
    records.fMachine.fCollectedAt = "2026-12-08T11:03:06Z";
    const json document = json::parse(InventoryJson(records, {}));
    EXPECT_EQ(document["_machine"],
        json::parse(R"({"hostname": "db01", "machineId": null, "collectedAt": "2026-12-08T11:03:06Z",
                        "kernelRelease": null, "productName": null, "productSerial": null})"));
}

TEST(CollectInventoryMapping, BytesThatAreNotUtf8BecomeReplacementCharacters)
{
    TMachineRecords records;
    records.fPackages = {{"b\xff"
                          "d",
        "1\xc3"}};
    const json document = json::parse(InventoryJson(records, {"bad \xfe byte"}));
    EXPECT_EQ(document["classes"]["QXRSG_InstalledRPM"][0]["ProductName"],
        "b\xef\xbf\xbd"
        "d 1\xef\xbf\xbd");
    EXPECT_EQ(document["_problems"][0], "bad \xef\xbf\xbd byte");
}

}  // namespace
