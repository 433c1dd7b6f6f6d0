// The disk checks: which hard disks the support check reports and the exact
// line; the host queries the support check, the bad-lot scan and the firmware
// check make, in order, and the reads they must not make; and how a host
// failure in each of them reaches the driver.
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.hpp"
#include "hvp_status.hpp"

namespace tarvotest {
namespace {

using nlohmann::ordered_json;

const char* const kHardDisk = R"("Hard disk")";
const TLogLine kNotFound{0, "Tarvoanal: Error getting class or property"};

TLogLine Unsupported(const std::string& code)
{
    return {100, "Tarvolith: Disk with device code \"" + code + "\" may not be supported."};
}

// One attached device; type and code are JSON texts, so that null and
// numbers can be given too. Every other property the analyses read is there.
struct TDevice {
    const char* type;
    const char* code;
};

std::string DiskClass(const std::vector<TDevice>& devices)
{
    ordered_json list = ordered_json::array();
    for (const TDevice& device : devices) {
        ordered_json disk = ordered_json::object();
        disk["DeviceType"] = ordered_json::parse(device.type);
        disk["DeviceCode"] = ordered_json::parse(device.code);
        disk["DeviceSerialNum"] = "SN" + std::to_string(list.size());
        disk["ControllerNum"] = 1;
        disk["Channel"] = 0;
        disk["ScsiId"] = list.size();
        list.push_back(disk);
    }
    ordered_json classes = ordered_json::object();
    classes["QXRSG_tvDiskDrive"] = list;
    return classes.dump();
}

// ---- Disk support: which disks are reported, and how the line reads.

struct TSupportCase {
    const char* name;
    std::vector<TDevice> devices;
    std::vector<TLogLine> expected;
};

void PrintTo(const TSupportCase& c, std::ostream* out)
{
    *out << c.name;
}

class DiskSupport : public ::testing::TestWithParam<TSupportCase> { };

TEST_P(DiskSupport, ReportsHardDisksWithoutASupportedTag)
{
    EXPECT_EQ(LogsFor(DiskClass(GetParam().devices)), GetParam().expected);
}

const TSupportCase kSupportCases[] = {
    {"no_devices", {}, {}},
    {"first_tag_exactly", {{kHardDisk, R"("qxr-wvt")"}}, {}},
    {"begins_with_a_tag", {{kHardDisk, R"("qxr-wvt 9.1G")"}}, {}},
    {"tag_in_the_middle", {{kHardDisk, R"("ST36-qxr-hmlo-B")"}}, {}},
    {"tag_at_the_end", {{kHardDisk, R"("146G/qxr-ydkq")"}}, {}},
    {"tag_in_upper_case", {{kHardDisk, R"("ABC QXR-YDKQ 72")"}}, {}},
    {"tag_in_mixed_case", {{kHardDisk, R"("Qxr-HmLo")"}}, {}},
    {"unsupported_code", {{kHardDisk, R"("xd4410-146")"}}, {Unsupported("xd4410-146")}},
    {"quoted_in_lower_case", {{kHardDisk, R"("XD4410-146 Rev.B")"}}, {Unsupported("xd4410-146 rev.b")}},
    {"part_of_first_tag", {{kHardDisk, R"("qxr-wv")"}}, {Unsupported("qxr-wv")}},
    {"part_of_second_tag", {{kHardDisk, R"("QXR-HML 36G")"}}, {Unsupported("qxr-hml 36g")}},
    {"tag_with_a_blank", {{kHardDisk, R"("qxr ydkq")"}}, {Unsupported("qxr ydkq")}},
    {"empty_code", {{kHardDisk, R"("")"}}, {Unsupported("")}},
    {"numeric_code", {{kHardDisk, R"({"uint32": 4410})"}}, {Unsupported("4410")}},
    {"non_ascii_left_as_is", {{kHardDisk, "\"XD-\xC3\x89T\""}}, {Unsupported("xd-\xC3\x89t")}},
    {"null_code_skipped", {{kHardDisk, "null"}, {kHardDisk, R"("zz9")"}}, {Unsupported("zz9")}},
    {"null_type_skipped", {{"null", R"("zz9")"}}, {}},
    {"type_in_lower_case", {{R"("hard disk")", R"("zz9")"}}, {}},
    {"type_with_capital_d", {{R"("Hard Disk")", R"("zz9")"}}, {}},
    {"type_in_upper_case", {{R"("HARD DISK")", R"("zz9")"}}, {}},
    {"type_with_trailing_blank", {{R"("Hard disk ")", R"("zz9")"}}, {}},
    {"type_with_leading_blank", {{R"(" Hard disk")", R"("zz9")"}}, {}},
    {"type_longer", {{R"("Hard disk drive")", R"("zz9")"}}, {}},
    {"other_device_type", {{R"("CD-ROM")", R"("zz9")"}}, {}},
    {"same_code_twice", {{kHardDisk, R"("ZZ9")"}, {kHardDisk, R"("qxr-wvt")"}, {kHardDisk, R"("zz9")"}},
        {Unsupported("zz9"), Unsupported("zz9")}},
    {"list_order_kept",
        {{kHardDisk, R"("c3")"}, {R"("Tape")", R"("t1")"}, {kHardDisk, R"("a1")"}, {kHardDisk, R"("b2")"}},
        {Unsupported("c3"), Unsupported("a1"), Unsupported("b2")}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DiskSupport, ::testing::ValuesIn(kSupportCases), TCaseName());

TEST(DiskSupportRequests, EveryRequestReportsAgain)
{
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.requests = 2;
    const TRun run = RunInventory(InventoryWith(DiskClass({{kHardDisk, R"("zz9")"}})), settings);
    EXPECT_EQ(run.Logs(), (std::vector<TLogLine>{Unsupported("zz9"), Unsupported("zz9")}));
}

// ---- Host queries of the three disk analyses.

// A call in short form: "class X", "instances X", "read I.P", "value I.P",
// "associated I R".
std::string Step(const TCall& call)
{
    if (call.op == "GetClass")
        return "class " + call.cls;
    if (call.op == "EnumerateInstances")
        return "instances " + call.cls;
    if (call.op == "GetProperty")
        return "read " + call.instance + "." + call.property;
    if (call.op == "GetValue")
        return "value " + call.instance + "." + call.property;
    if (call.op == "EnumerateAssociatedInstances")
        return "associated " + call.instance + " " + call.resultClass;
    return call.op + " " + call.cls;
}

// The calls of the disk analyses: from the first class look-up up to the
// first look-up of a class other than the disk class, so that whatever the
// later analyses do is left out.
std::vector<TCall> DiskPhase(const TRun& run)
{
    std::vector<TCall> phase;
    bool started = false;
    for (const TCall& call : run.recording.calls) {
        if (call.op == "GetClass") {
            if (call.cls != "QXRSG_tvDiskDrive")
                break;
            started = true;
        }
        if (started)
            phase.push_back(call);
    }
    return phase;
}

// The disk phase split at each class look-up, reads only (GetValue calls
// are checked separately): one list of steps per analysis.
std::vector<std::vector<std::string>> StepsPerAnalysis(const TRun& run)
{
    std::vector<std::vector<std::string>> analyses;
    for (const TCall& call : DiskPhase(run)) {
        if (call.op == "GetClass")
            analyses.emplace_back();
        if (call.op != "GetValue")
            analyses.back().push_back(Step(call));
    }
    return analyses;
}

// Disks 0 to 8 cover: a hard disk with two version records, devices that are
// not hard disks (with records all the same), null code, serial and version,
// no @associations, an association to another class only, an empty record
// list, and a last hard disk whose own record must be the one read.
const char* const kQueryDisks = R"({"QXRSG_tvDiskDrive": [
    {"DeviceType": "Hard disk", "DeviceCode": "QXR-WVT 9.1G", "DeviceSerialNum": "S0",
     "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "B1A0"}, {"Version": "B1A1"}]}},
    {"DeviceType": "CD-ROM", "DeviceCode": "cd1", "DeviceSerialNum": "S1",
     "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "1"}]}},
    {"DeviceType": null, "DeviceCode": "x", "DeviceSerialNum": "S2",
     "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "1"}]}},
    {"DeviceType": "Hard disk", "DeviceCode": null, "DeviceSerialNum": null,
     "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": null}, {"Version": "9"}]}},
    {"DeviceType": "Hard disk", "DeviceCode": "qxr-hmlo", "DeviceSerialNum": ""},
    {"DeviceType": "Hard disk", "DeviceCode": "qxr-hmlo", "DeviceSerialNum": "S5",
     "@associations": {"QXRSG_tvOther": [{"Version": "1"}]}},
    {"DeviceType": "Hard disk ", "DeviceCode": "zz", "DeviceSerialNum": "S6",
     "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "1"}]}},
    {"DeviceType": "Hard disk", "DeviceCode": "qxr-ydkq", "DeviceSerialNum": "S7",
     "@associations": {"QXRSG_tvDiskDriveVersion": []}},
    {"DeviceType": "Hard disk", "DeviceCode": "qxr-ydkq", "DeviceSerialNum": "S8",
     "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "0007"}]}}]})";

TEST(DiskQueries, EachAnalysisReadsOnlyWhatItNeeds)
{
    const TRun run = RunInventory(InventoryWith(kQueryDisks));
    EXPECT_TRUE(run.Logs().empty());
    const std::vector<std::vector<std::string>> analyses = StepsPerAnalysis(run);
    ASSERT_EQ(analyses.size(), 3u);

    const std::string disk = "QXRSG_tvDiskDrive";
    const std::vector<std::string> head = {"class " + disk, "instances " + disk};
    auto steps = [&](std::vector<std::string> tail) {
        std::vector<std::string> all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    auto read = [&](int i, const std::string& property) {
        return "read " + disk + "[" + std::to_string(i) + "]." + property;
    };
    auto associated = [&](int i) {
        return "associated " + disk + "[" + std::to_string(i) + "] QXRSG_tvDiskDriveVersion";
    };
    auto readVersion = [&](int i) {
        return "read " + disk + "[" + std::to_string(i) + "]/QXRSG_tvDiskDriveVersion[0].Version";
    };

    // Support check: the code of each hard disk, none of another device.
    EXPECT_EQ(analyses[0],
        steps({read(0, "DeviceType"), read(0, "DeviceCode"), read(1, "DeviceType"), read(2, "DeviceType"),
            read(3, "DeviceType"), read(3, "DeviceCode"), read(4, "DeviceType"), read(4, "DeviceCode"),
            read(5, "DeviceType"), read(5, "DeviceCode"), read(6, "DeviceType"), read(7, "DeviceType"),
            read(7, "DeviceCode"), read(8, "DeviceType"), read(8, "DeviceCode")}));
    // Bad-lot scan: the serial number of each hard disk, null or not.
    EXPECT_EQ(analyses[1],
        steps({read(0, "DeviceType"), read(0, "DeviceSerialNum"), read(1, "DeviceType"),
            read(2, "DeviceType"), read(3, "DeviceType"), read(3, "DeviceSerialNum"), read(4, "DeviceType"),
            read(4, "DeviceSerialNum"), read(5, "DeviceType"), read(5, "DeviceSerialNum"),
            read(6, "DeviceType"), read(7, "DeviceType"), read(7, "DeviceSerialNum"), read(8, "DeviceType"),
            read(8, "DeviceSerialNum")}));
    // Firmware check: one association query per hard disk, the first
    // record's version, and the disk's code only after a non-null version.
    EXPECT_EQ(analyses[2],
        steps({read(0, "DeviceType"), associated(0), readVersion(0), read(0, "DeviceCode"),
            read(1, "DeviceType"), read(2, "DeviceType"), read(3, "DeviceType"), associated(3),
            readVersion(3), read(4, "DeviceType"), associated(4), read(5, "DeviceType"), associated(5),
            read(6, "DeviceType"), read(7, "DeviceType"), associated(7), read(8, "DeviceType"), associated(8),
            readVersion(8), read(8, "DeviceCode")}));
}

TEST(DiskQueries, OnlyClassLookUpsCarryTheContextAndEveryReadTakesItsValue)
{
    const TRun run = RunInventory(InventoryWith(kQueryDisks));
    const std::vector<TCall> phase = DiskPhase(run);
    ASSERT_FALSE(phase.empty());
    const std::map<std::string, std::string> populated = {{"ContextName", "plugin.nsp"}};
    for (std::size_t i = 0; i < phase.size(); ++i) {
        const TCall& call = phase[i];
        const std::map<std::string, std::string> expected =
            call.op == "GetClass" ? populated : std::map<std::string, std::string>();
        EXPECT_EQ(call.context, expected) << Step(call);
        if (call.op == "GetProperty") {
            ASSERT_LT(i + 1, phase.size());
            EXPECT_EQ(Step(phase[i + 1]), "value " + call.instance + "." + call.property);
        }
    }
}

// ---- Host failures in the disk analyses, as the driver handles them.

// Makes the `occurrence`-th (from 1) read of the first disk's DeviceCode fail
// with `status`; 0 fails nothing.
tarvorun::TFaultInjector FailCodeRead(int occurrence, std::uint32_t status)
{
    if (occurrence == 0)
        return nullptr;
    auto seen = std::make_shared<int>(0);
    return [=](const tarvorun::THostCall& call, std::size_t) {
        if (call.op == NQXRHVP20::standin::EHostOp::GetProperty && call.instance == "QXRSG_tvDiskDrive[0]" &&
            call.property == "DeviceCode" && ++*seen == occurrence)
            throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(status));
        return tarvorun::EHostCallOutcome::Proceed;
    };
}

struct TFailureCase {
    const char* name;
    std::string classes;
    std::vector<TLogLine> expected;
    std::uint32_t status;  // 15: contained by the driver; otherwise GetData ends with it
    const char* failingStep;
    int failingCodeRead;  // see FailCodeRead
};

void PrintTo(const TFailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class DiskFailures : public ::testing::TestWithParam<TFailureCase> { };

TEST_P(DiskFailures, ReachTheDriver)
{
    const TFailureCase& c = GetParam();
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.injector = FailCodeRead(c.failingCodeRead, c.status);
    const TRun run = RunInventory(InventoryWith(c.classes), settings);

    EXPECT_EQ(run.Logs(), c.expected);
    // The failing call is the last one made: no later read, no later analysis.
    ASSERT_FALSE(run.recording.calls.empty());
    EXPECT_EQ(Step(run.recording.calls.back()), c.failingStep);
    if (c.status == 15) {
        EXPECT_TRUE(run.recording.failures.empty());
    } else {
        ASSERT_EQ(run.recording.failures.size(), 1u);
        EXPECT_EQ(run.recording.failures[0].kind, "THVPException");
        EXPECT_EQ(run.recording.failures[0].status, c.status);
        EXPECT_EQ(run.recording.records.back(),
            R"({"type":"exception","kind":"THVPException","status":)" + std::to_string(c.status) + "}");
    }
}

// A hard disk given by JSON texts for its code, its serial number and its
// @associations (null pointer: none).
struct THardDisk {
    const char* code;
    const char* serial;
    const char* associations;
};

std::string HardDisks(const std::vector<THardDisk>& disks)
{
    ordered_json list = ordered_json::array();
    for (const THardDisk& disk : disks) {
        ordered_json entry = ordered_json::object();
        entry["DeviceType"] = "Hard disk";
        entry["DeviceCode"] = ordered_json::parse(disk.code);
        entry["DeviceSerialNum"] = ordered_json::parse(disk.serial);
        if (disk.associations != nullptr)
            entry["@associations"] = ordered_json::parse(disk.associations);
        list.push_back(entry);
    }
    ordered_json classes = ordered_json::object();
    classes["QXRSG_tvDiskDrive"] = list;
    return classes.dump();
}

const char* const kVersionOne = R"({"QXRSG_tvDiskDriveVersion": [{"Version": "1"}]})";

const TFailureCase kFailureCases[] = {
    // Support check.
    {"class_not_found", R"({"QXRSG_tvDiskDrive": {"error": 15}})", {kNotFound}, 15, "class QXRSG_tvDiskDrive",
        0},
    {"class_other_status", R"({"QXRSG_tvDiskDrive": {"error": 7}})", {}, 7, "class QXRSG_tvDiskDrive", 0},
    {"enumeration_not_found", R"({"QXRSG_tvDiskDrive": {"instances": [], "enumerate": {"error": 15}}})",
        {kNotFound}, 15, "instances QXRSG_tvDiskDrive", 0},
    {"type_missing", R"({"QXRSG_tvDiskDrive": [{"DeviceCode": "zz9", "DeviceSerialNum": "S"}]})", {kNotFound},
        15, "read QXRSG_tvDiskDrive[0].DeviceType", 0},
    {"code_not_found_after_a_finding",
        HardDisks({{R"("zz9")", R"("S")", nullptr}, {R"({"error": 15})", R"("S")", nullptr},
            {R"("yy8")", R"("S")", nullptr}}),
        {Unsupported("zz9"), kNotFound}, 15, "read QXRSG_tvDiskDrive[1].DeviceCode", 0},
    {"code_other_status_after_a_finding",
        HardDisks({{R"("zz9")", R"("S")", nullptr}, {R"({"error": 7})", R"("S")", nullptr}}),
        {Unsupported("zz9")}, 7, "read QXRSG_tvDiskDrive[1].DeviceCode", 0},
    // Bad-lot scan: the support check has already logged its line.
    {"serial_not_found", HardDisks({{R"("zz9")", R"({"error": 15})", nullptr}}),
        {Unsupported("zz9"), kNotFound}, 15, "read QXRSG_tvDiskDrive[0].DeviceSerialNum", 0},
    {"serial_value_not_found", HardDisks({{R"("zz9")", R"({"error": 15, "on": "value"})", nullptr}}),
        {Unsupported("zz9"), kNotFound}, 15, "value QXRSG_tvDiskDrive[0].DeviceSerialNum", 0},
    {"serial_other_status", HardDisks({{R"("zz9")", R"({"error": 7})", nullptr}}), {Unsupported("zz9")}, 7,
        "read QXRSG_tvDiskDrive[0].DeviceSerialNum", 0},
    // Firmware check.
    {"association_not_found",
        HardDisks({{R"("qxr-wvt")", R"("S")", R"({"QXRSG_tvDiskDriveVersion": {"error": 15}})"}}),
        {kNotFound}, 15, "associated QXRSG_tvDiskDrive[0] QXRSG_tvDiskDriveVersion", 0},
    {"association_other_status",
        HardDisks({{R"("zz9")", R"("S")", R"({"QXRSG_tvDiskDriveVersion": {"error": 7}})"}}),
        {Unsupported("zz9")}, 7, "associated QXRSG_tvDiskDrive[0] QXRSG_tvDiskDriveVersion", 0},
    {"version_missing",
        HardDisks({{R"("qxr-wvt")", R"("S")", R"({"QXRSG_tvDiskDriveVersion": [{"Revision": "1"}]})"}}),
        {kNotFound}, 15, "read QXRSG_tvDiskDrive[0]/QXRSG_tvDiskDriveVersion[0].Version", 0},
    {"version_other_status",
        HardDisks(
            {{R"("qxr-wvt")", R"("S")", R"({"QXRSG_tvDiskDriveVersion": [{"Version": {"error": 7}}]})"}}),
        {}, 7, "read QXRSG_tvDiskDrive[0]/QXRSG_tvDiskDriveVersion[0].Version", 0},
    // The firmware check's code read is the second read of that property;
    // the support check made the first.
    {"firmware_code_not_found", HardDisks({{R"("qxr-wvt")", R"("S")", kVersionOne}}), {kNotFound}, 15,
        "read QXRSG_tvDiskDrive[0].DeviceCode", 2},
    {"firmware_code_other_status", HardDisks({{R"("qxr-wvt")", R"("S")", kVersionOne}}), {}, 7,
        "read QXRSG_tvDiskDrive[0].DeviceCode", 2},
};

INSTANTIATE_TEST_SUITE_P(Cases, DiskFailures, ::testing::ValuesIn(kFailureCases), TCaseName());

}  // namespace
}  // namespace tarvotest
