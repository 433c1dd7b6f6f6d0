// The disk checks. What they log and the host calls they make are golden
// cases (disks-*); left here is the one failure an inventory cannot give: the
// firmware check's read of a disk's DeviceCode, which the support check has
// already read once without trouble.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "hvp_status.hpp"

namespace tarvotest {
namespace {

struct TCodeReadCase {
    std::string name;
    std::uint32_t status;
    std::vector<TLogLine> expected;
    std::string failure;  // kind and status of the failure that ended the request, if any
};

class FirmwareCodeRead : public ::testing::TestWithParam<TCodeReadCase> { };

TEST_P(FirmwareCodeRead, FailureReachesTheDriverAndNothingIsReadAfterIt)
{
    const TCodeReadCase& c = GetParam();
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.injector = [reads = std::make_shared<int>(0), status = c.status](
                            const tarvorun::THostCall& call, std::size_t) {
        if (call.op == NQXRHVP20::standin::EHostOp::GetProperty && call.property == "DeviceCode" &&
            ++*reads == 2)
            throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(status));
        return tarvorun::EHostCallOutcome::Proceed;
    };
    const TRun run = RunInventory(InventoryWith(R"({"QXRSG_tvDiskDrive": [{"DeviceType": "Hard disk",
        "DeviceCode": "qxr-wvt", "DeviceSerialNum": "S0",
        "@associations": {"QXRSG_tvDiskDriveVersion": [{"Version": "1"}]}}]})"),
        settings);
    EXPECT_EQ(run.Logs(), c.expected);
    std::string failures;
    for (const tarvorun::TFailure& failure : run.recording.failures)
        failures += failure.kind + " " + std::to_string(failure.status);
    EXPECT_EQ(failures, c.failure);
    // The failing read, right after the version read, is the last call of the run.
    const std::vector<std::string> reads = run.PropertyReads();
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(reads[reads.size() - 2], "QXRSG_tvDiskDrive[0]/QXRSG_tvDiskDriveVersion[0].Version");
    EXPECT_EQ(reads.back(), "QXRSG_tvDiskDrive[0].DeviceCode");
    EXPECT_EQ(run.recording.calls.back().op, "GetProperty");
}

const TCodeReadCase kCodeReadCases[] = {
    {"not_found", 15, {{0, "Tarvoanal: Error getting class or property"}}, ""},
    {"other_status", 7, {}, "THVPException 7"},
};
INSTANTIATE_TEST_SUITE_P(Cases, FirmwareCodeRead, ::testing::ValuesIn(kCodeReadCases), TCaseName());

}  // namespace
}  // namespace tarvotest
