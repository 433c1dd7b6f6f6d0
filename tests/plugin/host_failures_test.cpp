// Host failures no inventory can give, injected into the host's calls: at
// load time, on the class name, on the operating-system query, on a property
// read once already, and from the second request on.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "hvp_status.hpp"

namespace tarvotest {
namespace {

using NQXRHVP20::standin::EHostOp;
using tarvorun::ERunStatus;

struct TInjectionCase {
    std::string fName;
    EHostOp fOp;
    std::string fProperty;  // only calls for this property, when not empty
    int fFrom;              // the calls from this one on (1 = the first) fail
    int fThrown;  // a THVPException's status; -1: an int, not a standard exception; -2: an empty handle
    int fRequests;
    std::string fClasses;  // laid over the inventory with every class empty
    std::vector<TLogLine> fLogs;
    std::string fFailure;  // the failure that ended GetData, as "kind status"
    ERunStatus fStatus;
    bool fLastCall;  // the failing call is the run's last
};

class HostFailures : public ::testing::TestWithParam<TInjectionCase> { };

TEST_P(HostFailures, TakeTheirCourse)
{
    const TInjectionCase& c = GetParam();
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.fRequests = c.fRequests;
    settings.fInjector = [&c, calls = std::make_shared<int>(0)](
                             const tarvorun::THostCall& call, std::size_t) {
        if (call.fOp != c.fOp || (!c.fProperty.empty() && call.fProperty != c.fProperty) ||
            ++*calls < c.fFrom)
            return tarvorun::EHostCallOutcome::Proceed;
        if (c.fThrown == -2)
            return tarvorun::EHostCallOutcome::ReturnEmpty;
        if (c.fThrown == -1)
            throw 42;
        throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(static_cast<std::uint32_t>(c.fThrown)));
    };
    const TRun run = RunInventory(InventoryWith(c.fClasses), settings);
    EXPECT_EQ(run.Logs(), c.fLogs);
    std::string failures;
    for (const tarvorun::TFailure& failure : run.fRecording.fFailures)
        failures += failure.fKind + " " + std::to_string(failure.fStatus);
    EXPECT_EQ(failures, c.fFailure);
    EXPECT_EQ(run.fResult.fStatus, c.fStatus);
    if (c.fStatus == ERunStatus::NotLoaded) {
        EXPECT_NE(run.fResult.fLoadProblem.find("did not register"), std::string::npos);
        EXPECT_TRUE(run.fRecording.fEvents.empty()) << "a plug-in that did not register prints nothing";
    }
    if (c.fLastCall) {
        ASSERT_FALSE(run.fRecording.fCalls.empty());
        EXPECT_EQ(run.fRecording.fCalls.back().fOp, NQXRHVP20::standin::HostOpName(c.fOp));
        EXPECT_EQ(run.fRecording.fCalls.back().fProperty, c.fProperty);
    }
}

const char* const kOneStripe =
    R"({"QXRSG_BadStripeData": [{"ControllerNum": 1, "LogicalDrive": 2, "NumBadStripes": "5"}]})";
const char* const kOneDisk = R"({"QXRSG_tvDiskDrive": [{"DeviceType": "Hard disk", "DeviceCode": "qxr-wvt",
    "DeviceSerialNum": "S0", "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "1"}]}}]})";
// An adapter, and a package list whose one entry has no product name.
const char* const kAdapter =
    R"({"QXRSG_PCIDevice": [{"VendorID": {"uint16": "0x9005"}, "PciDeviceID": {"uint16": "0x0285"}}],
        "QXRSG_InstalledApplication": [{}]})";

const TInjectionCase kInjectionCases[] = {
    // A plug-in that cannot register leaves the host running and prints nothing.
    {"manager_is_empty", EHostOp::GetPluginManager, "", 1, -2, 1, "{}", {}, "", ERunStatus::NotLoaded, false},
    {"manager_query_throws", EHostOp::GetPluginManager, "", 1, 7, 1, "{}", {}, "", ERunStatus::NotLoaded,
        false},
    {"registration_throws", EHostOp::RegisterPlugin, "", 1, 7, 1, "{}", {}, "", ERunStatus::NotLoaded, false},
    // The class name is asked outside the guarded block: even not-found leaves GetData.
    {"class_name_not_found", EHostOp::GetClassName, "", 1, 15, 1, kOneStripe, {}, "THVPException 15",
        ERunStatus::Failed, true},
    // Only standard exceptions from the operating-system query are dropped.
    {"os_query_not_standard", EHostOp::GetOperatingSystemType, "", 1, -1, 1, kAdapter, {}, "unknown 0",
        ERunStatus::Failed, true},
    // The firmware check's read of the device code, which the support check
    // has made once already, reaches the driver like any other.
    {"firmware_code_not_found", EHostOp::GetProperty, "DeviceCode", 2, 15, 1, kOneDisk, {kNotFound}, "",
        ERunStatus::Completed, true},
    {"firmware_code_other_status", EHostOp::GetProperty, "DeviceCode", 2, 7, 1, kOneDisk, {},
        "THVPException 7", ERunStatus::Failed, true},
    // The adapter flags are cleared at every run: the second request finds
    // no adapter, so it must not look for the software again.
    {"adapter_flags_cleared", EHostOp::GetProperty, "VendorID", 2, 15, 2, kAdapter,
        {kNoProductName, kNoVendor, kNoVendor, kNoVendor}, "", ERunStatus::Completed, false},
};
INSTANTIATE_TEST_SUITE_P(Cases, HostFailures, ::testing::ValuesIn(kInjectionCases), TTextCaseName());

}  // namespace
}  // namespace tarvotest
