// The controller checks: PCI adapter identification with the management
// software check, the BIOS and driver version match, and data scrubbing.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "harness.hpp"
#include "hvp_status.hpp"

namespace tarvotest {
namespace {

using Json = nlohmann::ordered_json;
using Lines = std::vector<TLogLine>;
using Reads = std::vector<std::string>;

const TLogLine kFinding{100,
    "A Tarvolith adapter is present but Tarvolith Manager is not installed."
    "Tarvolith Manager may be obtained from the QXR Support site."};
const TLogLine kNotice{101,
    "\nA Tarvolith adapter is present in the system but Tarvolith Manager is not installed.\n"
    "It is recommended to install Tarvolith Manager before re-running HVP and submitting the file to QXR.\n"
    "This will enhance the information contained within the report.\n"
    "Tarvolith Manager may be obtained from the QXR Support site.\n"};
const TLogLine kNoVendor{3, "tarvo analysis: didn't find VendorID property in QXRGS_PCIDevice"};
const TLogLine kNoDevice{3, "tarvo analysis: didn't find PciDeviceID property in QXRSG_PCIDevice"};
const TLogLine kVendorType{0, "tarvo analysis: VendorID wasn't a uint16 in QXRSG_PCIDevice"};
const TLogLine kDeviceType{0, "tarvo analysis: PciDeviceID wasn't a uint16 in QXRSG_PCIDevice"};
const TLogLine kNoProductName{3, "basic analysis: didn't find ProductName property"};
const TLogLine kNoControllerClass{0, "Unabled to get class QXRSG_tvSCSIProtocolController"};
const TLogLine kNoPciClass{0, "Unabled to get class QXRSG_PCIDevice"};
const TLogLine kNotFound{0, "Tarvoanal: Error getting class or property"};
const TLogLine kIncomparable{3, "Bios or devicedriver not in comparable format"};
const TLogLine kBadStripe{100, "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"};
// A later analysis's finding: its line shows that the run went on.
const std::string kStripes =
    R"("QXRSG_BadStripeData": [{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "2"}])";
// A controller the other analyses pass over quietly: scrubbing on, outside a cluster.
const std::string kQuietController = R"({"ControllerType": "Model 6", "ControllerNum": 1,
    "DeviceDriverVersion": "7.00.14", "DataScrubbing": "Enabled", "PartOfCluster": "No"})";
const std::string kManager = R"([{"ProductName": "Tarvolith Manager"}])";

std::string Pci(int vendor, int device)
{
    return R"({"VendorID": {"uint16": )" + std::to_string(vendor) + R"(}, "PciDeviceID": {"uint16": )" +
        std::to_string(device) + "}}";
}
std::string PciClass(const std::string& instances)
{
    return R"({"QXRSG_PCIDevice": [)" + instances + "]}";
}
const std::string kAdapter = R"("QXRSG_PCIDevice": [)" + Pci(0x9005, 0x0285) + "]";

// An adapter with these package and application lists.
std::string Software(const std::string& rpm, const std::string& application)
{
    return "{" + kAdapter + R"(, "QXRSG_InstalledRPM": )" + rpm + R"(, "QXRSG_InstalledApplication": )" +
        application + "}";
}

// Quiet controllers of a known adapter, each with the properties of its
// overlay on top; BIOS records; the management software installed.
std::string ControllerClasses(const std::vector<std::string>& overlays, const std::string& bios = "[]")
{
    Json classes{{"QXRSG_tvSCSIProtocolController", Json::array()},
        {"QXRSG_tvBiosVersion", Json::parse(bios)}, {"QXRSG_InstalledApplication", Json::parse(kManager)}};
    for (const std::string& overlay : overlays) {
        Json controller = Json::parse(kQuietController);
        controller["VendorID"] = Json{{"uint16", 0x9005}};
        controller["PciDeviceID"] = Json{{"uint16", 0x0285}};
        const Json properties = Json::parse(overlay);
        for (const auto& entry : properties.items())
            controller[entry.key()] = entry.value();
        classes["QXRSG_tvSCSIProtocolController"].push_back(controller);
    }
    return classes.dump();
}

// Controller 1 of type `type` with driver version `driver`, and its one BIOS record.
std::string VersionPair(
    const std::string& bios, const std::string& driver, const std::string& type = "Model 6")
{
    return ControllerClasses({Json{{"ControllerType", type}, {"DeviceDriverVersion", driver}}.dump()},
        Json::array({Json{{"Name", "Tarvolith1 BIOS"}, {"Version", bios}}}).dump());
}

TLogLine Mismatch(const std::string& bios, const std::string& driver, const std::string& type = "Model 6",
    const std::string& number = "1")
{
    return {100,
        "Tarvolith: Bios version: " + bios + " Doesn't match with device driver version: " + driver +
            " for controller number " + number + " controller type " + type};
}

const TLogLine kFirstMismatch = Mismatch("7.3", "7.00.14");

// Controller 1 is reported; controller 2, with `version` on both sides, ends
// the run, so neither controller 3 nor the data-scrubbing check is looked at.
std::string MajorThatEndsTheRun(const std::string& version)
{
    return ControllerClasses(
        {R"({"DataScrubbing": "No"})", Json{{"ControllerNum", 2}, {"DeviceDriverVersion", version}}.dump(),
            R"({"ControllerNum": 3})"},
        Json::array({Json{{"Name", "Tarvolith1 BIOS"}, {"Version", "7.3"}},
                        Json{{"Name", "Tarvolith2 BIOS"}, {"Version", version}},
                        Json{{"Name", "Tarvolith3 BIOS"}, {"Version", "7.3"}}})
            .dump());
}

TLogLine ScrubbingOff(const std::string& number, const std::string& type)
{
    return {100,
        "Tarvolith: Data scrubbing for controller number " + number + " controller type " + type +
            " is disabled"};
}

TRun RunCase(const std::string& classes, const std::string& os = "0",
    tarvorun::TRunSettings settings = DefaultSettings())
{
    Json inventory = Json::parse(InventoryWith(classes));
    inventory["operatingSystemType"] = Json::parse(os);
    return RunInventory(inventory.dump(), settings);
}

// The reads made after the look-up of `cls` (its last one when `last`) up to
// the next class look-up: the reads of the analysis that made it.
Reads ReadsAfterLookUp(const TRun& run, const std::string& cls, bool last = false)
{
    Reads reads;
    bool inside = false;
    for (const TCall& call : run.recording.calls) {
        if (call.op == "GetClass") {
            inside = call.cls == cls;
            if (inside && last)
                reads.clear();
        } else if (inside && call.op == "GetProperty") {
            reads.push_back(call.instance + "." + call.property);
        }
    }
    return reads;
}

// How many calls of `op` the run made, on the class `cls` when one is given.
long Count(const TRun& run, const std::string& op, const std::string& cls = "")
{
    const std::vector<TCall> calls = run.Calls(op);
    return std::count_if(
        calls.begin(), calls.end(), [&](const TCall& c) { return cls.empty() || c.cls == cls; });
}

// One request: its lines, and the failure that ended it, if any.
struct TCase {
    std::string name;
    std::string classes;
    Lines expected;
    std::string os = "0";      // the operatingSystemType entry
    std::string failure = "";  // kind and status of the failure that ended the run
};

class ControllerChecks : public ::testing::TestWithParam<TCase> { };

TEST_P(ControllerChecks, LogsExactlyTheseLinesAndEndsAsExpected)
{
    const TCase& c = GetParam();
    const TRun run = RunCase(c.classes, c.os);
    EXPECT_EQ(run.Logs(), c.expected);
    std::string failures;
    for (const tarvorun::TFailure& failure : run.recording.failures)
        failures += failure.kind + " " + std::to_string(failure.status);
    EXPECT_EQ(failures, c.failure);
}

const TCase kAdapterCases[] = {
    {"no_devices", PciClass(""), {}},
    {"other_device", PciClass(Pci(0x8086, 0x1237)), {}},
    {"pair_1", PciClass(Pci(0x9005, 0x0285)), {kFinding, kNotice}},
    {"pair_2", PciClass(Pci(0x9005, 0x0286)), {kFinding, kNotice}},
    {"pair_3", PciClass(Pci(0x9005, 0x041E)), {kFinding, kNotice}},
    {"vendor_with_other_device", PciClass(Pci(0x9005, 0x0287)), {}},
    {"device_with_other_vendor", PciClass(Pci(0x9004, 0x0285)), {}},
    {"vendor_missing_once_per_pair", PciClass(R"({"PciDeviceID": {"uint16": 645}})"),
        {kNoVendor, kNoVendor, kNoVendor}},
    {"device_missing_once_per_pair", PciClass(R"({"VendorID": {"uint16": 36869}})"),
        {kNoDevice, kNoDevice, kNoDevice}},
    {"device_unread_for_other_vendor", PciClass(R"({"VendorID": {"uint16": 1}})"), {}},
    {"vendor_sint64_even_when_equal", PciClass(R"({"VendorID": 36869, "PciDeviceID": {"uint16": 645}})"),
        {kVendorType, kVendorType, kVendorType}},
    {"device_uint32", PciClass(R"({"VendorID": {"uint16": 36869}, "PciDeviceID": {"uint32": 645}})"),
        {kDeviceType, kDeviceType, kDeviceType}},
    {"vendor_null", PciClass(R"({"VendorID": {"uint16": null}, "PciDeviceID": {"uint16": 645}})"), {}},
    {"device_null", PciClass(R"({"VendorID": {"uint16": 36869}, "PciDeviceID": null})"), {}},
    {"match_ends_the_search", PciClass(Pci(0x9005, 0x0285) + ", {}"), {kFinding, kNotice}},
    {"search_goes_on_after_a_miss", PciClass("{}, " + Pci(0x9005, 0x0286)),
        {kNoVendor, kNoVendor, kNoVendor, kFinding, kNotice}},
    // Controllers count as an adapter even without an expected pair, and are tested first.
    {"controllers_tested_before_pci_devices",
        R"({"QXRSG_tvSCSIProtocolController": [)" + kQuietController +
            R"(], "QXRSG_PCIDevice": [{"VendorID": {"uint16": 36869}}]})",
        {kNoVendor, kNoVendor, kNoVendor, kNoDevice, kNoDevice, kNoDevice, kFinding, kNotice}},
};
INSTANTIATE_TEST_SUITE_P(AdapterDetection, ControllerChecks, ::testing::ValuesIn(kAdapterCases), TCaseName());

const std::string kTarvadm = R"([{"ProductName": "tarvadm-6.50"}])";

const TCase kSoftwareCases[] = {
    {"os36_package_in_upper_case",
        Software(R"([{"ProductName": "bash"}, {"ProductName": "TARVADM-6"}])", "[]"), {}, "36"},
    {"os36_ignores_applications", Software("[]", kManager), {kFinding, kNotice}, "36"},
    {"os78_package", Software(kTarvadm, "[]"), {}, "78"},
    {"os81_package", Software(kTarvadm, "[]"), {}, "81"},
    {"os0_application", Software("[]", R"([{"ProductName": "Tarvolith Manager 7.20"}])"), {}},
    {"os0_ignores_packages", Software(kTarvadm, "[]"), {kFinding, kNotice}},
    {"os_query_std_failure_gives_applications", Software(kTarvadm, kManager), {}, R"({"error": "std"})"},
    {"os_query_std_failure_not_packages", Software(kTarvadm, "[]"), {kFinding, kNotice},
        R"({"error": "std"})"},
    {"os_query_host_failure_gives_applications", Software("[]", kManager), {}, R"({"error": 7})"},
    {"application_any_case", Software("[]", R"([{"ProductName": "TARVOLITH manager v3"}])"), {}},
    {"application_hyphenated", Software("[]", R"([{"ProductName": "Tarvolith-Manager"}])"),
        {kFinding, kNotice}},
    {"null_name_skipped", Software("[]", R"([{"ProductName": null}, )" + kManager.substr(1)), {}},
    {"missing_name_ends_the_check", Software("[]", "[{}, " + kManager.substr(1)), {kNoProductName}},
    {"search_stops_at_the_match", Software("[]", R"([{"ProductName": "Tarvolith Manager"}, {}])"), {}},
    {"empty_list", Software("[]", "[]"), {kFinding, kNotice}},
};
INSTANTIATE_TEST_SUITE_P(
    ManagementSoftware, ControllerChecks, ::testing::ValuesIn(kSoftwareCases), TCaseName());

// Classes in which `cls` fails to be looked up as `error` says, and `more`.
std::string Failing(const std::string& cls, const std::string& error, const std::string& more = "")
{
    return R"({")" + cls + R"(": {"error": )" + error + "}" + more + "}";
}
const std::string kController = "QXRSG_tvSCSIProtocolController",
                  kAdapterAndStripes = ", " + kAdapter + ", " + kStripes;

const TCase kLookUpFailureCases[] = {
    // The later analyses look the controller class up again and stop at it.
    {"controller_class_not_found", Failing(kController, "15"), {kNoControllerClass, kNotFound}},
    {"controller_class_other_status", Failing(kController, "7"), {kNoControllerClass}, "0",
        "THVPException 7"},
    {"controller_class_std_failure", Failing(kController, R"("std")"), {}, "0", "std::exception 0"},
    {"pci_class_not_found", Failing("QXRSG_PCIDevice", "15", ", " + kStripes), {kNoPciClass, kBadStripe}},
    {"pci_class_other_status", Failing("QXRSG_PCIDevice", "4294967295"), {kNoPciClass}, "0",
        "THVPException 4294967295"},
    {"application_class_not_found", Failing("QXRSG_InstalledApplication", "15", kAdapterAndStripes),
        {kBadStripe}},
    {"package_class_not_found", Failing("QXRSG_InstalledRPM", "15", kAdapterAndStripes), {kBadStripe}, "81"},
    {"application_class_other_status", Failing("QXRSG_InstalledApplication", "7", ", " + kAdapter), {}, "0",
        "THVPException 7"},
    // Only the property look-ups are guarded, not the reading of a value.
    {"vendor_value_not_found",
        R"({"QXRSG_PCIDevice": [{"VendorID": {"error": 15, "on": "value"}}], )" + kStripes + "}",
        {kNotFound}},
    {"vendor_value_other_status", PciClass(R"({"VendorID": {"error": 7, "on": "value"}})"), {}, "0",
        "THVPException 7"},
    {"product_name_value_not_found", Software("[]", R"([{"ProductName": {"error": 15, "on": "value"}}])"),
        {kNotFound}},
};
INSTANTIATE_TEST_SUITE_P(
    LookUpFailures, ControllerChecks, ::testing::ValuesIn(kLookUpFailureCases), TCaseName());

TEST(AdapterDetectionCalls, PairsInOrderAndNothingAfterTheFirstMatch)
{
    const TRun run =
        RunCase(PciClass(Pci(0x8086, 0x1237) + ", " + Pci(0x9005, 0x041E) + ", " + Pci(0x9005, 0x0285)));
    const std::string v0 = "QXRSG_PCIDevice[0].VendorID", v = "QXRSG_PCIDevice[1].VendorID",
                      d = "QXRSG_PCIDevice[1].PciDeviceID";
    EXPECT_EQ(ReadsAfterLookUp(run, "QXRSG_PCIDevice"), (Reads{v0, v0, v0, v, d, v, d, v, d}));
}

TEST(LookUpFailuresCalls, ControllerClassNotFoundEndsOnlyTheCheck)
{
    // The PCI class is never asked for, and the next analysis makes its own look-up.
    const TRun run = RunCase(Failing(kController, "15"));
    EXPECT_EQ(Count(run, "GetClass", "QXRSG_PCIDevice"), 0);
    EXPECT_GE(Count(run, "GetClass", "QXRSG_tvSCSIProtocolController"), 2);
}

TEST(ManagementSoftwareOnce, FindingAndNoticeOnlyInTheFirstRequest)
{
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.requests = 2;
    const TRun run = RunCase(PciClass(Pci(0x9005, 0x0285)), "0", settings);
    EXPECT_EQ(run.Logs(), (Lines{kFinding, kNotice}));
    EXPECT_EQ(Count(run, "GetOperatingSystemType"), 2);
}

TEST(ManagementSoftwareOnce, AdapterFlagsAreClearedAtEachRun)
{
    // From the second request on, VendorID cannot be found: that run sees no
    // adapter and so must not ask for the operating system.
    auto secondRequest = std::make_shared<bool>(false);
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.requests = 2;
    settings.injector = [secondRequest](const tarvorun::THostCall& call, std::size_t) {
        const std::string op = NQXRHVP20::standin::HostOpName(call.op);
        if (op == "GetOperatingSystemType")
            *secondRequest = true;
        else if (*secondRequest && op == "GetProperty" && call.property == "VendorID")
            throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(15));
        return tarvorun::EHostCallOutcome::Proceed;
    };
    const TRun run = RunCase(PciClass(Pci(0x9005, 0x0285)), "0", settings);
    EXPECT_EQ(run.Logs(), (Lines{kFinding, kNotice, kNoVendor, kNoVendor, kNoVendor}));
    EXPECT_EQ(Count(run, "GetOperatingSystemType"), 1);
}

const TCase kVersionCases[] = {
    // The worked examples.
    {"major7_one_character_after_stop", VersionPair("7.12.05", "7.1-2330"), {}},
    {"major7_differs_after_stop", VersionPair("7.12", "7.00.14"),
        {{100,
            "Tarvolith: Bios version: 7.12 Doesn't match with device driver version: 7.00.14 for controller "
            "number 1 controller type Model 6"}}},
    {"major10", VersionPair("10.2", "10.25"), {}},
    {"major4_two_characters_after_stop", VersionPair("4.35", "4.35.1"), {}},
    {"zero_not_hyphen_after_stop", VersionPair("4.30-1", "4.30-1"), {}},
    {"majors_differ", VersionPair("5.20", "4.20"), {Mismatch("5.20", "4.20")}},
    {"no_stop_in_bios", VersionPair("7", "7.0"), {Mismatch("7", "7.0")}},
    {"too_short_but_equal", VersionPair("4.3", "4.3"), {kIncomparable}},
    {"too_short_and_different", VersionPair("6.", "6.1"), {kIncomparable, Mismatch("6.", "6.1")}},
    // Around them.
    {"major4_second_character_differs", VersionPair("4.35", "4.36"), {Mismatch("4.35", "4.36")}},
    {"zero_at_hyphen_place_matches_on_two", VersionPair("4.30-1", "4.30-2"), {}},
    {"no_stop_in_driver", VersionPair("7.1", "7"), {Mismatch("7.1", "7")}},
    {"majors_compared_as_text", VersionPair("07.1", "7.1"), {Mismatch("07.1", "7.1")}},
    {"letter_majors_that_differ", VersionPair("A.1", "B.1"), {Mismatch("A.1", "B.1")}},
    {"major4_driver_too_short", VersionPair("4.35", "4.3"), {kIncomparable, Mismatch("4.35", "4.3")}},
    // The hyphen case: the driver's hyphen is looked for at the same place as the BIOS's.
    {"hyphen_identical", VersionPair("4.3-17", "4.3-17"), {}},
    {"hyphen_same_character_after_it", VersionPair("4.3-17", "4.3-18"), {}},
    {"hyphen_differs_after_it", VersionPair("4.3-17", "4.3-27"), {Mismatch("4.3-17", "4.3-27")}},
    {"hyphen_shortest", VersionPair("4.3-1", "4.3-1"), {}},
    {"hyphen_driver_without_it", VersionPair("4.3-17", "4.3x17"), {Mismatch("4.3-17", "4.3x17")}},
    {"hyphen_driver_one_later", VersionPair("4.3-17", "4.31-7"), {Mismatch("4.3-17", "4.31-7")}},
    {"hyphen_driver_too_short", VersionPair("4.3-17", "4.3-"), {Mismatch("4.3-17", "4.3-")}},
    // Exempt models, anywhere in the type text, in this letter case only.
    {"exempt_4m", VersionPair("7.12", "7.00.14", "Tarvolith 4m"), {}},
    {"exempt_4n_text_after", VersionPair("7.12", "7.00.14", "Tarvolith 4n Adapter"), {}},
    {"exempt_4p_text_before", VersionPair("7.12", "7.00.14", "QXR Tarvolith 4p"), {}},
    {"exempt_3r_with_hyphen", VersionPair("7.12", "7.00.14", "xTarvolith-3ry"), {}},
    {"not_exempt_3r_with_blank", VersionPair("7.1", "7.0", "Tarvolith 3r"),
        {Mismatch("7.1", "7.0", "Tarvolith 3r")}},
    {"not_exempt_lower_case", VersionPair("7.1", "7.0", "tarvolith 4m"),
        {Mismatch("7.1", "7.0", "tarvolith 4m")}},
    {"not_exempt_upper_model", VersionPair("7.1", "7.0", "Tarvolith 4M"),
        {Mismatch("7.1", "7.0", "Tarvolith 4M")}},
    {"exempt_still_warns", VersionPair("6.", "6.1", "Tarvolith 4m"), {kIncomparable}},
};
INSTANTIATE_TEST_SUITE_P(VersionMatch, ControllerChecks, ::testing::ValuesIn(kVersionCases), TCaseName());

const std::string kLongNumber(200, '9');

const TCase kPairingCases[] = {
    {"no_controllers", ControllerClasses({}, R"([{"Name": "Tarvolith1 BIOS", "Version": "7.12"}])"), {}},
    {"names_that_do_not_pair", ControllerClasses({"{}"}, R"([{"Name": "tarvolith1 BIOS", "Version": "7.1"},
            {"Name": "Tarvolith1 BIOS ", "Version": "7.1"}, {"Name": "Tarvolith01 BIOS", "Version": "7.1"},
            {"Name": "Tarvolith1 BIOS v2", "Version": "7.1"}, {"Name": "Tarvolith2 BIOS", "Version": "7.1"}])"),
        {}},
    {"each_controller_its_own_record",
        ControllerClasses(
            {R"({"ControllerNum": 2, "DeviceDriverVersion": "6.1"})", R"({"ControllerNum": {"uint32": 3}})"},
            R"([{"Name": "Tarvolith3 BIOS", "Version": "7.2"}, {"Name": "Tarvolith2 BIOS", "Version": "6.0"}])"),
        {Mismatch("6.0", "6.1", "Model 6", "2"), Mismatch("7.2", "7.00.14", "Model 6", "3")}},
    {"every_record_examined", ControllerClasses({"{}"}, R"([{"Name": "Tarvolith1 BIOS", "Version": "7.3"},
            {"Name": "Tarvolith1 BIOS", "Version": "7.0"}, {"Name": "Tarvolith1 BIOS", "Version": "7.4"}])"),
        {Mismatch("7.3", "7.00.14"), Mismatch("7.4", "7.00.14")}},
    {"same_number_twice",
        ControllerClasses(
            {"{}", R"({"ControllerType": "Model 7"})"}, R"([{"Name": "Tarvolith1 BIOS", "Version": "7.3"}])"),
        {Mismatch("7.3", "7.00.14"), Mismatch("7.3", "7.00.14", "Model 7")}},
    {"long_number_never_overruns",
        ControllerClasses({Json{{"ControllerNum", kLongNumber}}.dump()},
            Json::array({Json{{"Name", "Tarvolith" + kLongNumber + " BIOS"}, {"Version", "7.3"}}}).dump()),
        {}},
    {"letter_major_ends_the_run", MajorThatEndsTheRun("A.1"), {kFirstMismatch}, "0", "bad_lexical_cast 0"},
    {"empty_major_ends_the_run", MajorThatEndsTheRun(".5"), {kFirstMismatch}, "0", "bad_lexical_cast 0"},
    {"blank_major_ends_the_run", MajorThatEndsTheRun(" 4.1"), {kFirstMismatch}, "0", "bad_lexical_cast 0"},
    {"bios_class_looked_up_without_controllers",
        R"({"QXRSG_tvBiosVersion": {"error": 15}, )" + kStripes + "}", {kNotFound}},
};
INSTANTIATE_TEST_SUITE_P(VersionPairing, ControllerChecks, ::testing::ValuesIn(kPairingCases), TCaseName());

TEST(VersionMatchCalls, NullsSkipSilentlyAndLeaveTheLaterPropertiesUnread)
{
    const TRun run =
        RunCase(ControllerClasses({R"({"ControllerType": null})", R"({"ControllerNum": null})",
                                      R"({"DeviceDriverVersion": null})", R"({"ControllerType": "Model 8"})"},
            R"([{"Name": null, "Version": "7.3"}, {"Name": "Tarvolith2 BIOS", "Version": "7.3"},
            {"Name": "Tarvolith1 BIOS", "Version": null}, {"Name": "Tarvolith1 BIOS", "Version": "7.3"}])"));
    EXPECT_EQ(run.Logs(), Lines{Mismatch("7.3", "7.00.14", "Model 8")});
    const std::string &c = kController, b = "QXRSG_tvBiosVersion";
    EXPECT_EQ(ReadsAfterLookUp(run, b),
        (Reads{c + "[0].ControllerType", c + "[1].ControllerType", c + "[1].ControllerNum",
            c + "[2].ControllerType", c + "[2].ControllerNum", c + "[2].DeviceDriverVersion",
            c + "[3].ControllerType", c + "[3].ControllerNum", c + "[3].DeviceDriverVersion", b + "[0].Name",
            b + "[1].Name", b + "[2].Name", b + "[2].Version", b + "[3].Name", b + "[3].Version"}));
    // Enumerated once, for the one controller that got that far; never without controllers.
    EXPECT_EQ(Count(run, "EnumerateInstances", "QXRSG_tvBiosVersion"), 1);
    EXPECT_EQ(Count(RunCase(ControllerClasses({}, R"([{"Name": "Tarvolith1 BIOS", "Version": "7"}])")),
                  "EnumerateInstances", "QXRSG_tvBiosVersion"),
        0);
}

const TCase kScrubbingCases[] = {
    {"no_controllers", ControllerClasses({}), {}},
    {"disabled_number_before_type",
        ControllerClasses({R"({"ControllerType": "X", "ControllerNum": 2, "DataScrubbing": "Disabled"})"}),
        {{100, "Tarvolith: Data scrubbing for controller number 2 controller type X is disabled"}}},
    {"no", ControllerClasses({R"({"DataScrubbing": "No"})"}), {ScrubbingOff("1", "Model 6")}},
    {"other_settings",
        ControllerClasses(
            {R"({"DataScrubbing": "disabled"})", R"({"DataScrubbing": "NO"})", R"({"DataScrubbing": "Yes"})",
                R"({"DataScrubbing": "Disabled "})", R"({"DataScrubbing": false})"}),
        {}},
    {"empty_texts",
        ControllerClasses({R"({"ControllerType": "", "ControllerNum": "", "DataScrubbing": "Disabled"})"}),
        {{100, "Tarvolith: Data scrubbing for controller number  controller type  is disabled"}}},
    {"every_controller_in_order",
        ControllerClasses({R"({"ControllerNum": 3, "DataScrubbing": "No"})",
            R"({"ControllerNum": 3, "DataScrubbing": "No"})",
            R"({"ControllerNum": {"uint16": 5}, "ControllerType": {"sint32": -1}, "DataScrubbing": "No"})"}),
        {ScrubbingOff("3", "Model 6"), ScrubbingOff("3", "Model 6"), ScrubbingOff("5", "-1")}},
};
INSTANTIATE_TEST_SUITE_P(DataScrubbing, ControllerChecks, ::testing::ValuesIn(kScrubbingCases), TCaseName());

TEST(DataScrubbingCalls, NullsSkipSilentlyAndLeaveTheLaterPropertiesUnread)
{
    const TRun run = RunCase(ControllerClasses({R"({"ControllerType": null, "DataScrubbing": "No"})",
        R"({"ControllerNum": null, "DataScrubbing": "No"})", R"({"DataScrubbing": null})",
        R"({"ControllerType": "Model 9", "ControllerNum": 4, "DataScrubbing": "No"})"}));
    EXPECT_EQ(run.Logs(), Lines{ScrubbingOff("4", "Model 9")});
    const std::string& c = kController;
    EXPECT_EQ(ReadsAfterLookUp(run, c, true),
        (Reads{c + "[0].ControllerType", c + "[1].ControllerType", c + "[1].ControllerNum",
            c + "[2].ControllerType", c + "[2].ControllerNum", c + "[2].DataScrubbing",
            c + "[3].ControllerType", c + "[3].ControllerNum", c + "[3].DataScrubbing"}));
}

}  // namespace
}  // namespace tarvotest
