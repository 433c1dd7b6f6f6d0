// The one allocation the plug-in checks: the working record of the
// device-error analysis. This program replaces the global nothrow operator
// new, which the plug-in's calls reach too, since the plug-in is loaded into
// this process; the replacement fails only records of that size, and only
// while the device data is being scanned (never while an inventory is
// loaded, which also allocates without throwing).
#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"

namespace {

// The device-error record: six 32-bit counts and addresses, a 4-byte text
// and one more count.
const std::size_t kRecordSize = 7 * sizeof(std::int32_t) + 4;

std::atomic<bool> gScanningDevices{false};
std::atomic<int> gRecordRequests{0};
std::atomic<int> gFailingRequest{-1};  // the 0-based request that fails; -1 fails them all

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (gScanningDevices && size == kRecordSize) {
        const int request = gRecordRequests++;
        if (gFailingRequest < 0 || request == gFailingRequest)
            return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace tarvotest {
namespace {

using Lines = std::vector<TLogLine>;

const TLogLine kNoRecord{3, "Unabled to allocate space for devErrors"};
const TLogLine kBadStripe{100, "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"};
const char* const kDeviceProps[] = {
    "ControllerNum", "Channel", "ScsiId", "NumParityErrors", "NumSoftErrors", "NumHardErrors", "PFA", "Misc"};

// Three devices with soft errors, and a bad-stripe record for the analysis
// that runs after the scan.
const char* const kDevices = R"({
  "QXRSG_tvSCSIDeviceData": [
    {"ControllerNum": 1, "Channel": 0, "ScsiId": 1, "NumParityErrors": 0, "NumSoftErrors": 1,
     "NumHardErrors": 0, "PFA": "No", "Misc": 0},
    {"ControllerNum": 1, "Channel": 0, "ScsiId": 2, "NumParityErrors": 0, "NumSoftErrors": 2,
     "NumHardErrors": 0, "PFA": "No", "Misc": 0},
    {"ControllerNum": 1, "Channel": 0, "ScsiId": 3, "NumParityErrors": 0, "NumSoftErrors": 3,
     "NumHardErrors": 0, "PFA": "No", "Misc": 0}],
  "QXRSG_BadStripeData": [{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "2"}]})";

TLogLine Soft(int scsiId)
{
    return {100,
        "Tarvolith: Controller 1 Channel 0 Scsi ID " + std::to_string(scsiId) + " reported " +
            std::to_string(scsiId) + " soft errors"};
}

// Runs one request in which record allocations fail (the `failing`-th only,
// or all when it is -1) from the look-up of the device data until the next
// class look-up.
TRun RunWithFailingRecords(int failing)
{
    gRecordRequests = 0;
    gFailingRequest = failing;
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.fInjector = [](const tarvorun::THostCall& call, std::size_t) {
        if (call.fOp == NQXRHVP20::standin::EHostOp::GetClass)
            gScanningDevices = call.fClassName == "QXRSG_tvSCSIDeviceData";
        return tarvorun::EHostCallOutcome::Proceed;
    };
    TRun run = RunInventory(InventoryWith(kDevices), settings);
    gScanningDevices = false;
    return run;
}

// "instance.property" of every read of the device data, in order.
std::vector<std::string> DeviceReads(const TRun& run)
{
    std::vector<std::string> reads;
    for (const TCall& call : run.fRecording.fCalls)
        if (call.fOp == "GetProperty" && call.fInstance.rfind("QXRSG_tvSCSIDeviceData[", 0) == 0)
            reads.push_back(call.fInstance + "." + call.fProperty);
    return reads;
}

// Which record requests fail, and what the request then gives: a warning
// in place of each device whose record could not be had, the scan going on
// with the next device and the analyses after it still running; the reads
// of the devices that had their record.
struct TFailingCase {
    std::string fName;
    int fFailing;  // the 0-based record request that fails; -1 fails them all
    Lines fLogs;
    std::vector<bool> fDevicesRead;
};

// Shown by its name: its raw bytes hold padding that is never set.
void PrintTo(const TFailingCase& failing, std::ostream* out)
{
    *out << failing.fName;
}

class RecordAllocation : public ::testing::TestWithParam<TFailingCase> { };

TEST_P(RecordAllocation, CostsItsDeviceAlone)
{
    const TRun run = RunWithFailingRecords(GetParam().fFailing);
    EXPECT_EQ(gRecordRequests, 3) << "one record is asked for per device";
    EXPECT_EQ(run.Logs(), GetParam().fLogs);
    std::vector<std::string> reads;  // every property of each device that had its record
    for (int device = 0; device < 3; ++device)
        for (const char* property : kDeviceProps)
            if (GetParam().fDevicesRead[device])
                reads.push_back("QXRSG_tvSCSIDeviceData[" + std::to_string(device) + "]." + property);
    EXPECT_EQ(DeviceReads(run), reads);
    EXPECT_TRUE(run.fRecording.fFailures.empty());
    EXPECT_EQ(run.fResult.fStatus, tarvorun::ERunStatus::Completed);
}

INSTANTIATE_TEST_SUITE_P(Requests, RecordAllocation,
    ::testing::Values(TFailingCase{"EveryRecordFailing", -1, {kNoRecord, kNoRecord, kNoRecord, kBadStripe},
                          {false, false, false}},
        TFailingCase{"OneRecordFailing", 1, {Soft(1), kNoRecord, Soft(3), kBadStripe}, {true, false, true}},
        TFailingCase{"EveryRecordHad", 99, {Soft(1), Soft(2), Soft(3), kBadStripe}, {true, true, true}}),
    TTextCaseName());

}  // namespace
}  // namespace tarvotest
