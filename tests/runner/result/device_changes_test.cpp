// How disks and controllers changed between two runs of one machine: matched
// by serial number, then by address, a disk at the same address with another
// serial replaced, and controllers by number, then by PCI address; those that
// tell nothing to be known again by are only counted. Each case
// gives the earlier run's lists as its examined record has them, this run's
// as the inventory tells them, and the changes written by hand.
#include <gtest/gtest.h>

#include "device_changes.hpp"

namespace {

using tarvorun::TExamined;
using tarvorun::TExaminedController;
using tarvorun::TExaminedDisk;
using tarvorun::TRecord;

// A disk at an address, or with `whole` false one whose SCSI id is not told.
TExaminedDisk Disk(
    long long controller, long long scsiId, std::optional<std::string> serial, bool whole = true)
{
    TExaminedDisk disk;
    disk.fController = controller;
    disk.fChannel = 0;
    if (whole)
        disk.fScsiId = scsiId;
    disk.fDeviceCode = "XD4410-146";
    disk.fSerial = std::move(serial);
    disk.fFirmware = "S20A";
    disk.fCountsKnown = true;
    return disk;
}

TExaminedController Controller(std::optional<long long> number, std::optional<std::string> pciAddress)
{
    TExaminedController controller;
    controller.fController = number;
    controller.fModel = "Model 6";
    controller.fPciAddress = std::move(pciAddress);
    return controller;
}

struct TCase {
    const char* fProves;
    std::vector<TExaminedController> fEarlierControllers;
    std::vector<TExaminedDisk> fEarlierDisks;
    std::vector<TExaminedController> fControllers;
    std::vector<TExaminedDisk> fDisks;
    // One line a change: "TYPE WHAT: TEXT".
    std::string fChanges;
};

std::string Changes(const TCase& one)
{
    tarvorun::TEarlierDevices earlier;
    for (const TExaminedController& controller : one.fEarlierControllers)
        earlier.fControllers.push_back(tarvorun::ControllerObject(controller));
    for (const TExaminedDisk& disk : one.fEarlierDisks)
        earlier.fDisks.push_back(tarvorun::DiskObject(disk));
    TExamined now;
    now.fControllers = one.fControllers;
    now.fDisks = one.fDisks;
    std::string text;
    for (const tarvorun::TDeviceChange& change : tarvorun::CompareDevices(earlier, now))
        text += std::string(tarvorun::ChangeType(change)) + " " + tarvorun::ChangeWhat(change) + " " +
            std::string(tarvorun::ChangeKind(change).fId) + ": " + tarvorun::ChangeText(change) + "\n";
    return text;
}

TEST(DeviceChanges, AreFoundBySerialThenAddress)
{
    const auto c1 = Controller(1, "0000:03:00.0");
    const TCase cases[] = {
        {"nothing changed", {c1}, {Disk(1, 1, "A1"), Disk(1, 2, "B2")}, {c1},
            {Disk(1, 1, "A1"), Disk(1, 2, "B2")}, ""},
        {"a disk moved to another slot is the same disk", {c1}, {Disk(1, 1, "A1")}, {c1}, {Disk(1, 5, "A1")},
            ""},
        {"another serial at the same address is a replaced disk", {c1}, {Disk(1, 1, "A1")}, {c1},
            {Disk(1, 1, "Z9")},
            "replaced disk disk-replaced: disk: XD4410-146, serial Z9, firmware S20A "
            "(was: disk: XD4410-146, serial A1, firmware S20A)\n"},
        {"a disk gone vanished, one new appeared, the vanished first", {c1},
            {Disk(1, 1, "A1"), Disk(1, 2, "B2")}, {c1}, {Disk(1, 1, "A1"), Disk(1, 3, "C3")},
            "vanished disk disk-vanished: disk: XD4410-146, serial B2, firmware S20A\n"
            "appeared disk disk-appeared: disk: XD4410-146, serial C3, firmware S20A\n"},
        {"disks without serials are matched by address", {c1},
            {Disk(1, 1, std::nullopt), Disk(1, 2, std::nullopt)}, {c1}, {Disk(1, 1, std::nullopt)},
            "vanished disk disk-vanished: disk: XD4410-146, firmware S20A, controller 1 channel 0 scsi id "
            "2\n"},
        {"a serial one side does not tell is no replacement", {c1}, {Disk(1, 1, std::nullopt)}, {c1},
            {Disk(1, 1, "A1")}, ""},
        {"a controller gone vanished, with its disk", {c1, Controller(2, std::nullopt)},
            {Disk(1, 1, "A1"), Disk(2, 4, "D4")}, {c1}, {Disk(1, 1, "A1")},
            "vanished controller controller-vanished: controller: 2, Model 6\n"
            "vanished disk disk-vanished: disk: XD4410-146, serial D4, firmware S20A\n"},
        {"controllers without numbers are matched by PCI address",
            {Controller(std::nullopt, "0000:03:00.0"), Controller(std::nullopt, "0000:04:00.0")}, {},
            {Controller(std::nullopt, "0000:04:00.0"), Controller(std::nullopt, "0000:05:00.0")}, {},
            "vanished controller controller-vanished: controller: Model 6, PCI 0000:03:00.0\n"
            "appeared controller controller-appeared: controller: Model 6, PCI 0000:05:00.0\n"},
        {"controllers that tell neither number nor PCI address are the same while as many",
            {Controller(std::nullopt, std::nullopt), Controller(std::nullopt, std::nullopt)}, {},
            {Controller(std::nullopt, std::nullopt), Controller(std::nullopt, std::nullopt)}, {}, ""},
        {"one fewer of them is one vanished",
            {Controller(std::nullopt, std::nullopt), Controller(std::nullopt, std::nullopt)}, {},
            {Controller(std::nullopt, std::nullopt)}, {},
            "vanished controller controller-vanished: controller: Model 6\n"},
        {"disks that tell neither serial nor whole address are the same while as many", {c1},
            {Disk(1, 1, std::nullopt, false), Disk(1, 2, std::nullopt, false)}, {c1},
            {Disk(1, 2, std::nullopt, false), Disk(1, 1, std::nullopt, false)}, ""},
        {"one more of them is one appeared", {c1}, {Disk(1, 1, std::nullopt, false)}, {c1},
            {Disk(1, 1, std::nullopt, false), Disk(1, 1, std::nullopt, false)},
            "appeared disk disk-appeared: disk: XD4410-146, firmware S20A, controller 1 channel 0 scsi id "
            "?\n"},
    };
    for (const TCase& one : cases)
        EXPECT_EQ(Changes(one), one.fChanges) << one.fProves;
}

// What a worker sends of a change comes back the same, and what is not a
// change is refused.
TEST(DeviceChanges, TravelAsTheirRecordsMembers)
{
    tarvorun::TEarlierDevices earlier;
    earlier.fDisks.push_back(tarvorun::DiskObject(Disk(1, 1, "A1")));
    TExamined now;
    now.fDisks = {Disk(1, 1, "Z9")};
    const std::vector<tarvorun::TDeviceChange> changes = tarvorun::CompareDevices(earlier, now);
    ASSERT_EQ(changes.size(), 1u);
    const TRecord members = tarvorun::ChangeMembers(changes[0]);
    EXPECT_EQ(members.dump(),
        R"({"what":"disk","subject":{"controller":1,"channel":0,"scsiId":1,"deviceCode":"XD4410-146",)"
        R"("serial":"Z9","firmware":"S20A","countsKnown":true},"was":{"controller":1,"channel":0,"scsiId":1,)"
        R"("deviceCode":"XD4410-146","serial":"A1","firmware":"S20A","countsKnown":true}})");
    const auto back = tarvorun::ChangeOfMembers("replaced", members);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(tarvorun::ChangeMembers(*back), members);
    EXPECT_FALSE(tarvorun::ChangeOfMembers("gone", members).has_value());
    EXPECT_FALSE(
        tarvorun::ChangeOfMembers("vanished", TRecord{{"what", "fan"}, {"subject", TRecord::object()}}));
    EXPECT_FALSE(tarvorun::ChangeOfMembers("vanished", TRecord{{"what", "disk"}}).has_value());
}

}  // namespace
