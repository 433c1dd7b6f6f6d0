// The log and error scans. What they log is in the golden cases scans-*;
// left here are the device-error analysis's reads that no line shows: which
// properties a null value leaves unread, and how the clustered controllers
// and their disks are read.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.hpp"

namespace tarvotest {
namespace {

using Json = nlohmann::ordered_json;

// Instances from rows of values, one property per column.
Json Rows(const std::vector<std::string>& columns, const char* rows)
{
    Json instances = Json::array();
    for (const Json& row : Json::parse(rows)) {
        Json instance = Json::object();
        for (std::size_t i = 0; i < columns.size(); ++i)
            instance[columns[i]] = row.at(i);
        instances.push_back(instance);
    }
    return instances;
}

// Controllers (ControllerType, PartOfCluster, ControllerNum), disks
// (DeviceType, ControllerNum, Channel, ScsiId) and device data in property
// order. A null type keeps the other analyses to their first read of a
// controller or disk.
struct TReadsCase {
    std::string name;
    const char* controllers;
    const char* disks;
    const char* devices;
    std::string expected;  // "C[0].PartOfCluster D[1].Channel V[0].Misc ..."
};

class DeviceErrorReads : public ::testing::TestWithParam<TReadsCase> { };

TEST_P(DeviceErrorReads, ReadOnlyWhatIsNeeded)
{
    const TReadsCase& c = GetParam();
    Json classes{{"QXRSG_tvSCSIProtocolController",
                     Rows({"ControllerType", "PartOfCluster", "ControllerNum"}, c.controllers)},
        {"QXRSG_tvDiskDrive", Rows({"DeviceType", "ControllerNum", "Channel", "ScsiId"}, c.disks)},
        {"QXRSG_tvSCSIDeviceData",
            Rows({"ControllerNum", "Channel", "ScsiId", "NumParityErrors", "NumSoftErrors", "NumHardErrors",
                     "PFA", "Misc"},
                c.devices)}};
    const TRun run = RunInventory(InventoryWith(classes.dump()));
    // The reads of the device-error analysis: those of the device data, and
    // of the controllers and disks but for the other analyses' first reads.
    std::string reads;
    for (const std::string& read : run.PropertyReads()) {
        const std::string property = read.substr(read.find('.') + 1);
        if (property == "ControllerType" || property == "DeviceType" || property == "VendorID")
            continue;
        for (const auto& [cls, letter] : {std::pair{"QXRSG_tvSCSIProtocolController", "C"},
                 std::pair{"QXRSG_tvDiskDrive", "D"}, std::pair{"QXRSG_tvSCSIDeviceData", "V"}})
            if (read.rfind(cls, 0) == 0)
                reads +=
                    std::string(reads.empty() ? "" : " ") + letter + read.substr(std::string(cls).size());
    }
    EXPECT_EQ(reads, c.expected);
}

const TReadsCase kReadsCases[] = {
    {"first_null_ends_the_device", "[]", "[]",
        R"([[1, null, 0, 0, 0, 0, "No", 0], [1, 0, null, 0, 0, 0, "No", 0], [1, 0, 3, null, 0, 0, "No", 0],
            [1, 0, 3, 0, null, 0, "No", 0], [1, 0, 3, 0, 0, null, "No", 0], [1, 0, 3, 0, 0, 0, null, 0],
            [1, 0, 3, 0, 0, 0, "No", null], [null, 0, 3, 0, 0, 0, "No", 0], [2, 0, 3, 0, 0, 4, "No", 0]])",
        "V[0].ControllerNum V[0].Channel "
        "V[1].ControllerNum V[1].Channel V[1].ScsiId "
        "V[2].ControllerNum V[2].Channel V[2].ScsiId V[2].NumParityErrors "
        "V[3].ControllerNum V[3].Channel V[3].ScsiId V[3].NumParityErrors V[3].NumSoftErrors "
        "V[4].ControllerNum V[4].Channel V[4].ScsiId V[4].NumParityErrors V[4].NumSoftErrors "
        "V[4].NumHardErrors "
        "V[5].ControllerNum V[5].Channel V[5].ScsiId V[5].NumParityErrors V[5].NumSoftErrors "
        "V[5].NumHardErrors V[5].PFA "
        "V[6].ControllerNum V[6].Channel V[6].ScsiId V[6].NumParityErrors V[6].NumSoftErrors "
        "V[6].NumHardErrors V[6].PFA V[6].Misc "
        "V[7].ControllerNum "
        "V[8].ControllerNum V[8].Channel V[8].ScsiId V[8].NumParityErrors V[8].NumSoftErrors "
        "V[8].NumHardErrors V[8].PFA V[8].Misc"},
    // Controller 2 is taken off the stack first; a disk of another
    // controller is left after its number, one with a null channel after that.
    {"clustered_controllers_from_the_end", R"([[null, "Yes", 1], [null, "No", 3], [null, "Yes", 2]])",
        "[[null, 1, 0, 0], [null, 2, null, 0]]", "[]",
        "C[0].PartOfCluster C[0].ControllerNum C[1].PartOfCluster C[2].PartOfCluster C[2].ControllerNum "
        "D[0].ControllerNum D[1].ControllerNum D[1].Channel "
        "D[0].ControllerNum D[0].Channel D[0].ScsiId D[1].ControllerNum"},
    {"no_cluster_no_disk_reads", R"([[null, "No", 1], [null, null, 2]])", "[[null, 1, 0, 0]]", "[]",
        "C[0].PartOfCluster C[1].PartOfCluster"},
};
INSTANTIATE_TEST_SUITE_P(Cases, DeviceErrorReads, ::testing::ValuesIn(kReadsCases), TCaseName());

}  // namespace
}  // namespace tarvotest
