// The controller checks. What they log is in the golden cases controller-*;
// left here are the host calls that no line shows where the controller class
// is read by several analyses (which reads a null value leaves out, how often
// the BIOS records are enumerated, the order in which the adapter pairs are
// tried), and the adapter flags, cleared at every run, which only a fault
// injected into the second request shows.
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "hvp_status.hpp"

namespace tarvotest {
namespace {

// The reads ("C[0].ControllerType") and enumerations ("*B") the run made
// after the look-up of `cls` (its last one when `last`) up to the next class
// look-up: those of the analysis that made that look-up.
std::string CallsAfterLookUp(const TRun& run, const std::string& cls, bool last)
{
    static const std::pair<const char*, const char*> kShort[] = {
        {"QXRSG_tvSCSIProtocolController", "C"}, {"QXRSG_tvBiosVersion", "B"}, {"QXRSG_PCIDevice", "P"}};
    auto shorten = [](const std::string& name) {
        for (const auto& [full, letter] : kShort)
            if (name.rfind(full, 0) == 0)
                return letter + name.substr(std::strlen(full));
        return name;
    };
    std::string steps;
    bool inside = false, seen = false;
    for (const TCall& call : run.recording.calls) {
        if (call.op == "GetClass") {
            if (seen && !last)
                break;
            inside = call.cls == cls;
            if (inside) {
                steps.clear();
                seen = true;
            }
        } else if (inside && call.op == "GetProperty") {
            steps += " " + shorten(call.instance) + "." + call.property;
        } else if (inside && call.op == "EnumerateInstances") {
            steps += " *" + shorten(call.cls);
        }
    }
    return steps.empty() ? steps : steps.substr(1);
}

struct TCallsCase {
    std::string name;
    std::string classes;  // the "classes" object; every other class the analyses read is empty
    std::string lookUp;   // the class whose look-up starts the calls of the analysis
    bool last;            // its last look-up, not its first
    std::string expected;
};

class ControllerCalls : public ::testing::TestWithParam<TCallsCase> { };

TEST_P(ControllerCalls, ReadOnlyWhatIsNeeded)
{
    const TCallsCase& c = GetParam();
    EXPECT_EQ(CallsAfterLookUp(RunInventory(InventoryWith(c.classes)), c.lookUp, c.last), c.expected);
}

const TCallsCase kCallsCases[] = {
    // BIOS check: a null skips the controller or record and the properties
    // after it; the BIOS records are enumerated once per controller that gets
    // that far, so only once here.
    {"version_nulls", R"({"QXRSG_tvSCSIProtocolController": [
         {"ControllerType": null, "ControllerNum": 1, "DeviceDriverVersion": "7.0", "PartOfCluster": "No"},
         {"ControllerType": "M", "ControllerNum": null, "DeviceDriverVersion": "7.0", "PartOfCluster": "No"},
         {"ControllerType": "M", "ControllerNum": 1, "DeviceDriverVersion": null, "PartOfCluster": "No"},
         {"ControllerType": "M", "ControllerNum": 1, "DeviceDriverVersion": "7.0", "PartOfCluster": "No"}],
     "QXRSG_tvBiosVersion": [{"Name": null, "Version": "7.3"}, {"Name": "Tarvolith2 BIOS", "Version": "7.3"},
         {"Name": "Tarvolith1 BIOS", "Version": null}, {"Name": "Tarvolith1 BIOS", "Version": "7.3"}]})",
        "QXRSG_tvBiosVersion", false,
        "*C C[0].ControllerType C[1].ControllerType C[1].ControllerNum C[2].ControllerType "
        "C[2].ControllerNum "
        "C[2].DeviceDriverVersion C[3].ControllerType C[3].ControllerNum C[3].DeviceDriverVersion "
        "*B B[0].Name B[1].Name B[2].Name B[2].Version B[3].Name B[3].Version"},
    // Data scrubbing, the last analysis to look the controllers up.
    {"scrubbing_nulls", R"({"QXRSG_tvSCSIProtocolController": [
         {"ControllerType": null, "ControllerNum": 1, "DataScrubbing": "No", "PartOfCluster": "No"},
         {"ControllerType": "M", "ControllerNum": null, "DataScrubbing": "No", "PartOfCluster": "No"},
         {"ControllerType": "M", "ControllerNum": 1, "DeviceDriverVersion": "7", "DataScrubbing": null,
          "PartOfCluster": "No"},
         {"ControllerType": "M", "ControllerNum": 4, "DeviceDriverVersion": "7", "DataScrubbing": "No",
          "PartOfCluster": "No"}]})",
        "QXRSG_tvSCSIProtocolController", true,
        "*C C[0].ControllerType C[1].ControllerType C[1].ControllerNum C[2].ControllerType "
        "C[2].ControllerNum "
        "C[2].DataScrubbing C[3].ControllerType C[3].ControllerNum C[3].DataScrubbing"},
    // Adapter check: each device against the pairs in order, PciDeviceID only
    // for the right vendor; nothing after the first match (pair 3 of device 1).
    {"adapter_pairs_in_order", R"({"QXRSG_PCIDevice": [
         {"VendorID": {"uint16": "0x8086"}, "PciDeviceID": {"uint16": "0x1237"}},
         {"VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x041E"}},
         {"VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0285"}}]})",
        "QXRSG_PCIDevice", false,
        "*P P[0].VendorID P[0].VendorID P[0].VendorID P[1].VendorID P[1].PciDeviceID P[1].VendorID "
        "P[1].PciDeviceID P[1].VendorID P[1].PciDeviceID"},
};
INSTANTIATE_TEST_SUITE_P(Cases, ControllerCalls, ::testing::ValuesIn(kCallsCases), TCaseName());

TEST(AdapterFlags, AreClearedAtEveryRun)
{
    // From the second request on, VendorID cannot be found: that run sees no
    // adapter, so it must not ask for the operating system.
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.requests = 2;
    settings.injector = [second = std::make_shared<bool>(false)](
                            const tarvorun::THostCall& call, std::size_t) {
        if (call.op == NQXRHVP20::standin::EHostOp::GetOperatingSystemType)
            *second = true;
        else if (*second && call.op == NQXRHVP20::standin::EHostOp::GetProperty &&
            call.property == "VendorID")
            throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(15));
        return tarvorun::EHostCallOutcome::Proceed;
    };
    const TRun run = RunInventory(
        InventoryWith(
            R"({"QXRSG_PCIDevice": [{"VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0285"}}],
            "QXRSG_InstalledApplication": [{"ProductName": "Tarvolith Manager"}]})"),
        settings);
    const TLogLine noVendor{3, "tarvo analysis: didn't find VendorID property in QXRGS_PCIDevice"};
    EXPECT_EQ(run.Logs(), (std::vector<TLogLine>{noVendor, noVendor, noVendor}));
    EXPECT_EQ(run.Calls("GetOperatingSystemType").size(), 1u);
}

}  // namespace
}  // namespace tarvotest
