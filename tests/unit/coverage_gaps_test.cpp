// Cases the other tests leave out, found by the coverage report: a driver
// version too short for a major of 5 or more, and an operating-system query
// that fails with something that is not a standard exception.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"

namespace tarvotest {
namespace {

using Lines = std::vector<TLogLine>;

TEST(VersionMatchRule, ADriverVersionEndingAtItsFullStopIsComparedWhole)
{
    // Major 6 wants one character after each full stop; "6." has none, so
    // the pair gets the level-3 line and the whole texts differ.
    const Lines logs = LogsFor(R"({
      "QXRSG_tvSCSIProtocolController": [{"ControllerType": "Model 6", "ControllerNum": 1,
        "DeviceDriverVersion": "6.", "DataScrubbing": "Enabled", "PartOfCluster": "No",
        "VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0285"}}],
      "QXRSG_InstalledApplication": [{"ProductName": "Tarvolith Manager"}],
      "QXRSG_tvBiosVersion": [{"Name": "Tarvolith1 BIOS", "Version": "6.1"}]})");
    EXPECT_EQ(logs,
        (Lines{{3, "Bios or devicedriver not in comparable format"},
            {100,
                "Tarvolith: Bios version: 6.1 Doesn't match with device driver version: 6. for "
                "controller number 1 controller type Model 6"}}));
}

TEST(OperatingSystemQuery, OnlyStandardExceptionsAreDropped)
{
    // Anything derived from std::exception counts as code 0; anything else
    // passes through the check and the driver unchanged.
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.injector = [](const tarvorun::THostCall& call, std::size_t) {
        if (call.op == NQXRHVP20::standin::EHostOp::GetOperatingSystemType)
            throw 42;
        return tarvorun::EHostCallOutcome::Proceed;
    };
    const TRun run = RunInventory(InventoryWith(R"({
      "QXRSG_tvSCSIProtocolController": [{"ControllerType": null,
        "VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0285"}}],
      "QXRSG_BadStripeData": [{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "1"}]})"),
        settings);
    EXPECT_TRUE(run.Logs().empty());
    ASSERT_EQ(run.recording.failures.size(), 1u);
    EXPECT_EQ(run.recording.failures[0].kind, "unknown");
    EXPECT_EQ(run.result.status, tarvorun::ERunStatus::Failed);
}

}  // namespace
}  // namespace tarvotest
