// The mapping from records to the inventory document, golden cases written by
// hand, and the plug-in's run over mapped inventories: what a Linux machine
// cannot tell must never make an analysis miss a class or a property.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.hpp"
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
    const json expected = json::parse(R"({
      "operatingSystemType": 36,
      "classes": {
        "QXRSG_PCIDevice": [
          {"VendorID": {"uint16": "0x8086"}, "PciDeviceID": {"uint16": "0x1237"}},
          {"VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0286"}}],
        "QXRSG_InstalledRPM": [{"ProductName": "bash 5.2.15-2+b2"}, {"ProductName": "zsh"}],
        "QXRSG_InstalledApplication": [],
        "QXRSG_tvSCSIProtocolController": [
          {"ControllerType": "Model 6", "ControllerNum": 4, "DeviceDriverVersion": "1.2.1", "DataScrubbing": null,
           "PartOfCluster": null, "VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0286"}}],
        "QXRSG_tvBiosVersion": [{"Name": "Tarvolith4 BIOS", "Version": "1.3.0"}],
        "QXRSG_tvDiskDrive": [
          {"DeviceType": "Hard disk", "DeviceCode": "XD4410-146", "DeviceSerialNum": "SN1", "ControllerNum": 4,
           "Channel": 0, "ScsiId": 2, "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "R1"}]}},
          {"DeviceType": "Medium changer", "DeviceCode": "Changer", "DeviceSerialNum": null, "ControllerNum": 4,
           "Channel": 1, "ScsiId": 0, "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "R1"}]}},
          {"DeviceType": null, "DeviceCode": "Odd", "DeviceSerialNum": null, "ControllerNum": 4,
           "Channel": 1, "ScsiId": 1, "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "R1"}]}}],
        "QXRSG_tvSCSIDeviceData": [
          {"ControllerNum": 4, "Channel": 0, "ScsiId": 2, "NumParityErrors": 0, "NumSoftErrors": 4,
           "NumHardErrors": 2, "PFA": "Yes", "Misc": 1}],
        "QXRSG_BadStripeData": [],
        "QXRSG_WindowsSystemEventLogRecord": []
      }})");
    EXPECT_EQ(Classes(InventoryJson(AdapterMachine(), {})), expected);
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

// The lines of one level among those of a run.
std::vector<tarvotest::TLogLine> LinesAt(const std::vector<tarvotest::TLogLine>& logs, int level)
{
    std::vector<tarvotest::TLogLine> lines;
    for (const tarvotest::TLogLine& line : logs)
        if (line.fLevel == level)
            lines.push_back(line);
    return lines;
}

struct TSilenceCase {
    std::string fName;
    TMachineRecords fRecords;
    std::vector<tarvotest::TLogLine> fFindings;
};

class CollectedInventoryRun : public ::testing::TestWithParam<TSilenceCase> { };

TEST_P(CollectedInventoryRun, NoErrorOrWarningOnlyFindings)
{
    const tarvotest::TRun run = tarvotest::RunInventory(InventoryJson(GetParam().fRecords, {}));
    EXPECT_EQ(LinesAt(run.Logs(), 0), std::vector<tarvotest::TLogLine>());
    EXPECT_EQ(LinesAt(run.Logs(), 3), std::vector<tarvotest::TLogLine>());
    EXPECT_EQ(LinesAt(run.Logs(), 100), GetParam().fFindings);
}

TMachineRecords WithoutAdapter()
{
    TMachineRecords records = AdapterMachine();
    records.fPciFunctions.pop_back();
    records.fScsiHosts.erase(records.fScsiHosts.begin());
    return records;
}

TMachineRecords WithManager()
{
    TMachineRecords records = AdapterMachine();
    records.fPackages.push_back({"tarvadm", "7.12-1"});
    return records;
}

// The device errors and the BIOS line of the adapter machine's physical disk
// and controller; the logical drive beside it gives none.
const std::vector<tarvotest::TLogLine> kAdapterMachineErrors = {
    {100, "Tarvolith: Controller 4 Channel 0 Scsi ID 2 reported a PFA error"},
    {100, "Tarvolith: Controller 4 Channel 0 Scsi ID 2 reported 4 soft errors"},
    {100, "Tarvolith: Controller 4 Channel 0 Scsi ID 2 reported 2 hard errors"},
    {100, "Tarvolith: Controller 4 Channel 0 Scsi ID 2 reported 1 misc errors"},
    {100,
        "Tarvolith: Bios version: 1.3.0 Doesn't match with device driver version: 1.2.1 for controller "
        "number 4 controller type Model 6"}};

std::vector<tarvotest::TLogLine> Then(std::vector<tarvotest::TLogLine> lines)
{
    lines.insert(lines.end(), kAdapterMachineErrors.begin(), kAdapterMachineErrors.end());
    return lines;
}

INSTANTIATE_TEST_SUITE_P(Machines, CollectedInventoryRun,
    ::testing::Values(TSilenceCase{"WithoutAdapter", WithoutAdapter(), {}},
        TSilenceCase{"AdapterWithoutManager", AdapterMachine(),
            Then({{100, "Tarvolith: Disk with device code \"xd4410-146\" may not be supported."},
                {100,
                    "A Tarvolith adapter is present but Tarvolith Manager is not installed."
                    "Tarvolith Manager may be obtained from the QXR Support site."}})},
        TSilenceCase{"AdapterWithManagerPackage", WithManager(),
            Then({{100, "Tarvolith: Disk with device code \"xd4410-146\" may not be supported."}})}),
    tarvotest::TCaseName());

}  // namespace
