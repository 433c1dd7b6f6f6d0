// The log and error scans: device error counters with the shared-storage
// sentence, and the system event log driver messages with their two guards.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.hpp"

namespace tarvotest {
namespace {

using Json = nlohmann::ordered_json;
using Lines = std::vector<TLogLine>;

const char* const kSoft =
    ":  This adapter is currently part of a shared storage configuration.  These events are normal.";
const char* const kMisc =
    ":  This adapter is currently part of a shared storage configuration. These events are normal.";
const TLogLine kScanFailed{3, "Tarvoanal: Error getting class or property"};
const TLogLine kNotFound{0, "Tarvoanal: Error getting class or property"};
const TLogLine kBadStripe{100, "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"};
const char* const kDeviceProps[] = {
    "ControllerNum", "Channel", "ScsiId", "NumParityErrors", "NumSoftErrors", "NumHardErrors", "PFA", "Misc"};

// Instances from rows of values, one property name per column.
template <std::size_t N> Json Rows(const char* rows, const char* const (&names)[N])
{
    Json instances = Json::array();
    for (const Json& row : Json::parse(rows)) {
        Json instance = Json::object();
        for (std::size_t i = 0; i < N; ++i)
            instance[names[i]] = row.at(i);
        instances.push_back(instance);
    }
    return instances;
}

// Controllers (PartOfCluster, ControllerNum) that the other controller checks
// pass over quietly (a known adapter without a type, its software installed),
// disks (ControllerNum, Channel, ScsiId) that the disk checks pass over, and
// device data rows in property order.
std::string DeviceInventory(const char* controllers, const char* disks, const char* devices)
{
    static const char* const kControllerProps[] = {"PartOfCluster", "ControllerNum"};
    static const char* const kDiskProps[] = {"ControllerNum", "Channel", "ScsiId"};
    Json classes{{"QXRSG_tvSCSIProtocolController", Rows(controllers, kControllerProps)},
        {"QXRSG_tvDiskDrive", Rows(disks, kDiskProps)},
        {"QXRSG_tvSCSIDeviceData", Rows(devices, kDeviceProps)},
        {"QXRSG_InstalledApplication", Json::parse(R"([{"ProductName": "Tarvolith Manager"}])")}};
    for (Json& controller : classes["QXRSG_tvSCSIProtocolController"])
        controller.update(Json::parse(R"({"ControllerType": null, "VendorID": {"uint16": "0x9005"},
            "PciDeviceID": {"uint16": "0x0285"}})"));
    for (Json& disk : classes["QXRSG_tvDiskDrive"])
        disk["DeviceType"] = nullptr;
    return InventoryWith(classes.dump());
}

// The lines the device-error analysis can write, and the driver's and other
// failure lines, which a quiet inventory never gives.
Lines DeviceLines(const TRun& run)
{
    Lines lines;
    for (const TLogLine& line : run.Logs())
        if (line.level == 0 || line.level == 3 ||
            (line.level == 100 && line.text.find(" reported ") != std::string::npos))
            lines.push_back(line);
    return lines;
}

TLogLine Dev(const std::string& address, const std::string& tail)
{
    return {100, "Tarvolith: Controller " + address + " reported " + tail};
}

struct TDeviceCase {
    const char* name;
    const char* controllers;
    const char* disks;
    const char* devices;
    Lines expected;
};

void PrintTo(const TDeviceCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeviceErrors : public ::testing::TestWithParam<TDeviceCase> { };

TEST_P(DeviceErrors, LogsEachCountAndTheSharedSuffixes)
{
    const TDeviceCase& c = GetParam();
    EXPECT_EQ(DeviceLines(RunInventory(DeviceInventory(c.controllers, c.disks, c.devices))), c.expected);
}

const char* const kA = "1 Channel 0 Scsi ID 3";
const TDeviceCase kDeviceCases[] = {
    {"no_device_data", R"([["Yes", 1]])", "[[1, 0, 3]]", "[]", {}},
    {"five_lines_in_order", "[]", "[]", R"([[1, 0, 3, 2, 3, 1, "Yes", 5]])",
        {{100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported a PFA error"},
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 2 parity errors"},
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 3 soft errors"},
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 1 hard errors"},
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 5 misc errors"}}},
    {"shared_device_suffixes_on_soft_and_misc_only", R"([["No", 2], ["Yes", 1]])", "[[2, 0, 3], [1, 0, 3]]",
        R"([[1, 0, 3, 2, 4, 1, "Yes", 5]])",
        {{100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported a PFA error"},
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 2 parity errors"},
            {100,
                "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 4 soft errors:  "
                "This adapter is currently part of a shared storage configuration."
                "  These events are normal."},
            {100, "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 1 hard errors"},
            {100,
                "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported 5 misc errors:  "
                "This adapter is currently part of a shared storage configuration."
                " These events are normal."}}},
    {"cluster_text_containing_yes", R"x([["Yes (active)", 1], ["Node Yes", 4]])x", "[[1, 0, 3], [4, 1, 1]]",
        R"([[1, 0, 3, 0, 4, 0, "No", 0], [4, 1, 1, 0, 0, 0, "No", 6]])",
        {Dev(kA, std::string("4 soft errors") + kSoft),
            Dev("4 Channel 1 Scsi ID 1", std::string("6 misc errors") + kMisc)}},
    {"not_in_cluster", R"([["yes", 1], ["No", 1], [null, 1], ["Yes", null], ["YES", 1]])",
        "[[1, 0, 3], [0, 0, 3]]", R"([[1, 0, 3, 0, 4, 0, "No", 6]])",
        {Dev(kA, "4 soft errors"), Dev(kA, "6 misc errors")}},
    {"address_matching_no_shared_disk", R"([["Yes", 1]])",
        R"([[1, 0, 4], [1, 1, 3], [2, 0, 3], [1, null, 3], [1, 0, null], [null, 0, 3]])",
        R"([[1, 0, 3, 0, 4, 0, "No", 6]])", {Dev(kA, "4 soft errors"), Dev(kA, "6 misc errors")}},
    {"controller_twice_and_two_devices_alike", R"([["Yes", 1], ["Yes", 1]])", "[[1, 0, 3]]",
        R"([[1, 0, 3, 0, 4, 0, "No", 0], [1, 0, 3, 0, 4, 0, "No", 0]])",
        {Dev(kA, std::string("4 soft errors") + kSoft), Dev(kA, std::string("4 soft errors") + kSoft)}},
    {"pfa_only_exactly_yes", "[]", "[]",
        R"([[1, 0, 3, 0, 0, 0, "yes", 0], [1, 0, 3, 0, 0, 0, "YES", 0], [1, 0, 3, 0, 0, 0, "Yes1", 0],
         [1, 0, 3, 0, 0, 0, " Yes", 0], [1, 0, 3, 0, 0, 0, "Ye", 0], [1, 0, 3, 0, 0, 0, "Yesss", 0],
         [1, 0, 3, 0, 0, 0, "", 0], [2, 0, 3, 0, 0, 0, "Yes", 0]])",
        {Dev("2 Channel 0 Scsi ID 3", "a PFA error")}},
    {"count_conversions", "[]", "[]",
        R"([[1, 0, 3, 0, -1, "-5", "No", "abc"], [1, 0, 3, "1x", " +1", "4294967297", "No", "2147483648"],
         ["0012", "ch", " 9", 0, 0, 0, "No", 1]])",
        {Dev(kA, "1 parity errors"), Dev(kA, "1 soft errors"), Dev(kA, "1 hard errors"),
            Dev("12 Channel 0 Scsi ID 9", "1 misc errors")}},
    {"address_compared_as_numbers", R"([["Yes", "01"]])", R"([[" 1", "0x", "+3"]])",
        R"([["1", "0", "3", 0, 0, 0, "No", "7x"]])", {Dev(kA, std::string("7 misc errors") + kMisc)}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DeviceErrors, ::testing::ValuesIn(kDeviceCases), TCaseName());

TEST(DeviceErrorSuffixes, AreExactlyTheTwoSentences)
{
    EXPECT_EQ(std::string(kSoft).size(), 94u);
    EXPECT_EQ(std::string(kMisc).size(), 93u);
}

// The "[i].Prop" reads of one class, of these properties only (other analyses
// read the controllers and disks too).
std::vector<std::string> ReadsOf(
    const TRun& run, const std::string& cls, const std::vector<std::string>& props)
{
    std::vector<std::string> reads;
    for (const std::string& read : run.PropertyReads())
        for (const std::string& prop : props)
            if (read.rfind(cls + "[", 0) == 0 && read.substr(read.find('.') + 1) == prop)
                reads.push_back(read.substr(cls.size()));
    return reads;
}

TEST(DeviceErrorReads, FirstNullEndsTheDeviceAndLeavesTheLaterPropertiesUnread)
{
    for (int k = 0; k < 8; ++k) {
        Json row = Json::parse(R"([1, 0, 3, 2, 3, 1, "Yes", 5])");
        row[static_cast<std::size_t>(k)] = nullptr;
        const std::string devices = "[" + row.dump() + R"(, [2, 0, 3, 0, 0, 4, "No", 0]])";
        const TRun run = RunInventory(DeviceInventory("[]", "[]", devices.c_str()));
        EXPECT_EQ(DeviceLines(run), Lines{Dev("2 Channel 0 Scsi ID 3", "4 hard errors")}) << "null at " << k;
        std::vector<std::string> expected;
        for (int i = 0; i <= k; ++i)
            expected.push_back(std::string("[0].") + kDeviceProps[i]);
        for (const char* prop : kDeviceProps)
            expected.push_back(std::string("[1].") + prop);
        EXPECT_EQ(ReadsOf(run, "QXRSG_tvSCSIDeviceData", {std::begin(kDeviceProps), std::end(kDeviceProps)}),
            expected)
            << "null at " << k;
    }
}

TEST(DeviceErrorReads, SharedControllersAreTakenFromTheEndAndEachScansTheDisks)
{
    const TRun run = RunInventory(
        DeviceInventory(R"([["Yes", 1], ["No", 3], ["Yes", 2]])", "[[1, 0, 0], [2, null, 0]]", "[]"));
    EXPECT_EQ(ReadsOf(run, "QXRSG_tvDiskDrive", {"ControllerNum", "Channel", "ScsiId"}),
        (std::vector<std::string>{"[0].ControllerNum", "[1].ControllerNum", "[1].Channel",
            "[0].ControllerNum", "[0].Channel", "[0].ScsiId", "[1].ControllerNum"}));
    EXPECT_EQ(ReadsOf(run, "QXRSG_tvSCSIProtocolController", {"PartOfCluster", "ControllerNum"}),
        (std::vector<std::string>{"[0].PartOfCluster", "[0].ControllerNum", "[1].PartOfCluster",
            "[2].PartOfCluster", "[2].ControllerNum"}));
    const TRun quiet = RunInventory(DeviceInventory(R"([["No", 1], [null, 2]])", "[[1, 0, 0]]", "[]"));
    EXPECT_EQ(ReadsOf(quiet, "QXRSG_tvSCSIProtocolController", {"PartOfCluster", "ControllerNum"}),
        (std::vector<std::string>{"[0].PartOfCluster", "[1].PartOfCluster"}));
    EXPECT_EQ(ReadsOf(quiet, "QXRSG_tvDiskDrive", {"ControllerNum", "Channel", "ScsiId"}),
        std::vector<std::string>());
}

TEST(DeviceErrorFailures, HostFailureEndsTheAnalysisAfterTheLinesBefore)
{
    const TRun run = RunInventory(DeviceInventory(
        "[]", "[]", R"([[1, 0, 3, 0, 4, 0, "No", 0], [1, 0, 4, 1, 1, 1, "Yes", {"error": 15}]])"));
    EXPECT_EQ(DeviceLines(run), (Lines{Dev(kA, "4 soft errors"), kNotFound}));
}

// Event log records from rows (EventID, Message).
std::string EventInventory(const char* rows, const std::string& extra = "{}")
{
    static const char* const kRecordProps[] = {"EventID", "Message"};
    Json classes = Json::parse(extra);
    if (!classes.contains("QXRSG_WindowsSystemEventLogRecord"))
        classes["QXRSG_WindowsSystemEventLogRecord"] = Rows(rows, kRecordProps);
    classes["QXRSG_BadStripeData"] =
        Json::parse(R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": 2}])");
    return InventoryWith(classes.dump());
}

// The event log lines and the failure lines; the bad-stripe line, logged by
// a later analysis, shows that the driver went on.
Lines EventLines(const TRun& run)
{
    Lines lines;
    for (const TLogLine& line : run.Logs())
        if (line.level != 100 || line.text.find("system event log") != std::string::npos ||
            line == kBadStripe)
            lines.push_back(line);
    return lines;
}

TLogLine Zkvt(int id, const std::string& message)
{
    return {100,
        "Tarvolith: Found in system event log a message with event id " + std::to_string(id) +
            " associated with zkvt314.sys, the message reads " + message};
}

TLogLine Tvrk(int id, const std::string& message)
{
    return {100,
        "Tarvolith: Found in system event log a message with event id " + std::to_string(id) +
            " associated with tvrkdrvn.sys, the message reads " + message};
}

struct TEventCase {
    const char* name;
    const char* records;  // rows (EventID, Message), or a whole class entry in `classes`
    Lines expected;
    std::string classes = "{}";
};

void PrintTo(const TEventCase& c, std::ostream* out)
{
    *out << c.name;
}

class EventLog : public ::testing::TestWithParam<TEventCase> { };

TEST_P(EventLog, LogsDriverMessagesOfTheSixEventIds)
{
    const TEventCase& c = GetParam();
    const TRun run = RunInventory(EventInventory(c.records, c.classes));
    Lines expected = c.expected;
    expected.push_back(kBadStripe);
    EXPECT_EQ(EventLines(run), expected);
    EXPECT_TRUE(run.recording.failures.empty());
}

const std::string kLong = "zkvt314.sys " + std::string(10000, 'x');
// Three qualifying records, the second with this Message entry.
std::string Guarded(const char* message)
{
    return std::string(R"([[11, "a zkvt314.sys"], [26, )") + message + R"(], [50, "c tvrkdrvn.sys"]])";
}
const std::string kMsg15 = Guarded(R"({"error": 15})"), kValue15 = Guarded(R"({"error": 15, "on": "value"})"),
                  kMsg7 = Guarded(R"({"error": 7})"), kMsgEmpty = Guarded(R"({"error": "empty"})");

const TEventCase kEventCases[] = {
    {"no_records", "[]", {}},
    {"the_six_event_ids",
        R"([[9, "zkvt314.sys"], [11, "zkvt314.sys"], [15, "zkvt314.sys"], [26, "zkvt314.sys"],
        [50, "zkvt314.sys"], [51, "zkvt314.sys"]])",
        {Zkvt(9, "zkvt314.sys"), Zkvt(11, "zkvt314.sys"), Zkvt(15, "zkvt314.sys"), Zkvt(26, "zkvt314.sys"),
            Zkvt(50, "zkvt314.sys"), Zkvt(51, "zkvt314.sys")}},
    {"neighbour_ids", R"([[8, "zkvt314.sys"], [10, "zkvt314.sys"], [12, "zkvt314.sys"], [14, "zkvt314.sys"],
        [16, "zkvt314.sys"], [25, "zkvt314.sys"], [27, "zkvt314.sys"], [49, "zkvt314.sys"], [52, "zkvt314.sys"],
        [0, "zkvt314.sys"], [-11, "zkvt314.sys"], ["abc", "zkvt314.sys"], [null, "zkvt314.sys"]])",
        {}},
    {"event_id_conversions", R"([["0026", "zkvt314.sys"], ["26abc", "zkvt314.sys"], [" +9", "zkvt314.sys"],
        [4294967307, "zkvt314.sys"]])",
        {Zkvt(26, "zkvt314.sys"), Zkvt(26, "zkvt314.sys"), Zkvt(9, "zkvt314.sys"), Zkvt(11, "zkvt314.sys")}},
    {"driver_names", R"([[11, "Reset issued by zkvt314.sys"], [11, "tvrkdrvn.sys: timeout"],
        [15, "tvrkdrvn.sys and zkvt314.sys"], [50, "x zkvt314.sys tvrkdrvn.sys"], [51, "ZKVT314.SYS"],
        [51, "zkvt314 tvrkdrvn"], [51, "zkvt314.sy"], [51, "a\u0000zkvt314.sys"], [9, ""], [9, null],
        [9, "zkvt314.sys"], [9, "zkvt314.sys"]])",
        {Zkvt(11, "Reset issued by zkvt314.sys"), Tvrk(11, "tvrkdrvn.sys: timeout"),
            Zkvt(15, "tvrkdrvn.sys and zkvt314.sys"), Zkvt(50, "x zkvt314.sys tvrkdrvn.sys"),
            Zkvt(9, "zkvt314.sys"), Zkvt(9, "zkvt314.sys")}},
    {"long_message_whole", "[]", {Zkvt(51, kLong)},
        Json{{"QXRSG_WindowsSystemEventLogRecord", Json::array({Json{{"EventID", 51}, {"Message", kLong}}})}}
            .dump()},
    {"message_not_found_skips_the_record", kMsg15.c_str(),
        {Zkvt(11, "a zkvt314.sys"), Tvrk(50, "c tvrkdrvn.sys")}},
    {"message_value_not_found_skips_the_record", kValue15.c_str(),
        {Zkvt(11, "a zkvt314.sys"), Tvrk(50, "c tvrkdrvn.sys")}},
    {"empty_message_handle_skips_the_record", kMsgEmpty.c_str(),
        {Zkvt(11, "a zkvt314.sys"), Tvrk(50, "c tvrkdrvn.sys")}},
    {"other_status_on_message_ends_the_scan", kMsg7.c_str(), {Zkvt(11, "a zkvt314.sys"), kScanFailed}},
    {"event_id_not_found_ends_the_scan",
        R"([[11, "a zkvt314.sys"], [{"error": 15}, "b zkvt314.sys"], [50, "c tvrkdrvn.sys"]])",
        {Zkvt(11, "a zkvt314.sys"), kScanFailed}},
    {"event_id_other_status_ends_the_scan", R"([[{"error": 7}, "b zkvt314.sys"], [50, "c tvrkdrvn.sys"]])",
        {kScanFailed}},
    {"class_not_found", "[]", {kScanFailed}, R"({"QXRSG_WindowsSystemEventLogRecord": {"error": 15}})"},
    {"class_other_status", "[]", {kScanFailed}, R"({"QXRSG_WindowsSystemEventLogRecord": {"error": 9}})"},
    {"empty_class_handle", "[]", {kScanFailed},
        R"({"QXRSG_WindowsSystemEventLogRecord": {"error": "empty"}})"},
    {"enumeration_fails", "[]", {kScanFailed},
        R"({"QXRSG_WindowsSystemEventLogRecord": {"instances": [{"EventID": 11, "Message": "zkvt314.sys"}],
        "enumerate": {"error": 15}}})"},
};

INSTANTIATE_TEST_SUITE_P(Cases, EventLog, ::testing::ValuesIn(kEventCases), TCaseName());

TEST(EventLogReads, MessageIsReadOnlyForTheSixEventIds)
{
    const TRun run = RunInventory(EventInventory(R"([[10, "zkvt314.sys"], [11, "x"], [52, "zkvt314.sys"]])"));
    EXPECT_EQ(ReadsOf(run, "QXRSG_WindowsSystemEventLogRecord", {"EventID", "Message"}),
        (std::vector<std::string>{"[0].EventID", "[1].EventID", "[1].Message", "[2].EventID"}));
}

TEST(EventLogFailures, OtherExceptionTypesPassThrough)
{
    for (const char* rows : {R"([[11, "a zkvt314.sys"], [26, {"error": "std"}], [50, "tvrkdrvn.sys"]])",
             R"([[11, "a zkvt314.sys"], [{"error": "std"}, "zkvt314.sys"], [50, "tvrkdrvn.sys"]])"}) {
        const TRun run = RunInventory(EventInventory(rows));
        EXPECT_EQ(EventLines(run), Lines{Zkvt(11, "a zkvt314.sys")}) << rows;
        ASSERT_EQ(run.recording.failures.size(), 1u) << rows;
        EXPECT_EQ(run.recording.failures[0].kind, "std::exception");
    }
}

}  // namespace
}  // namespace tarvotest
