// The plug-in frame: load-time registration, identity, and the driver's
// policy for the class list and for host failures.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "hvp_host.hpp"

namespace tarvotest {
namespace {

namespace hvp = NQXRHVP20;
using hvp::standin::EHostOp;

TEST(Registration, LoadingCreatesOneObjectWithItsIdentity)
{
    tarvorun::TPluginLoader plugin(DefaultSettings().pluginPath);
    const tarvorun::TIdentity identity = plugin.AskIdentity();
    EXPECT_EQ(identity.type, 1);
    EXPECT_EQ(identity.name, "Tarvo Analysis");
    EXPECT_EQ(identity.version, "1.0");
    EXPECT_EQ(identity.interfaceVersion, "1.0");
    plugin.Init();
    std::vector<boost::shared_ptr<hvp::ICIMClass>> none;
    plugin.GetData(boost::shared_ptr<hvp::ICIMNamespace>(), none);
}

TEST(Registration, TheHostSeesOneManagerQueryAndOneRegistration)
{
    const TRun run = RunInventory(InventoryWith("{}"));
    EXPECT_EQ(run.Calls("GetPluginManager").size(), 1u);
    EXPECT_EQ(run.Calls("RegisterPlugin").size(), 1u);
    ASSERT_EQ(run.recording.identities.size(), 1u);
    EXPECT_EQ(run.recording.records.at(2),
        R"({"type":"plugin","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})");
}

struct TLoadFailureCase {
    const char* name;
    EHostOp op;
    tarvorun::EHostCallOutcome outcome;  // Proceed here means: throw status 7
};

class RegistrationFailures : public ::testing::TestWithParam<TLoadFailureCase> { };

TEST_P(RegistrationFailures, LeaveTheLibraryUnregisteredAndTheHostRunning)
{
    const TLoadFailureCase& c = GetParam();
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.injector = [&c](const tarvorun::THostCall& call, std::size_t) {
        if (call.op != c.op)
            return tarvorun::EHostCallOutcome::Proceed;
        if (c.outcome == tarvorun::EHostCallOutcome::Proceed)
            throw hvp::THVPException(hvp::THVPStatusCode(7));
        return c.outcome;
    };
    const TRun run = RunInventory(InventoryWith("{}"), settings);
    EXPECT_EQ(run.result.status, tarvorun::ERunStatus::NotLoaded);
    EXPECT_NE(run.result.loadProblem.find("did not register"), std::string::npos) << run.result.loadProblem;
    EXPECT_TRUE(run.recording.records.empty()) << "a plug-in that did not register prints nothing";

    // The process is still whole: the next load works.
    EXPECT_EQ(RunInventory(InventoryWith("{}")).result.status, tarvorun::ERunStatus::Completed);
}

const TLoadFailureCase kLoadFailureCases[] = {
    {"manager_is_empty", EHostOp::GetPluginManager, tarvorun::EHostCallOutcome::ReturnEmpty},
    {"manager_query_throws", EHostOp::GetPluginManager, tarvorun::EHostCallOutcome::Proceed},
    {"registration_throws", EHostOp::RegisterPlugin, tarvorun::EHostCallOutcome::Proceed},
};

INSTANTIATE_TEST_SUITE_P(Cases, RegistrationFailures, ::testing::ValuesIn(kLoadFailureCases), TCaseName());

// The driver's policy over the class list (empty, other names, letter case, the
// trigger twice) and over a failure's status and type is shown end to end by
// the golden cases tests/golden/cases/frame-*.

const char* const kOneStripe =
    R"({"QXRSG_BadStripeData": [{"ControllerNum": 1, "LogicalDrive": 2, "NumBadStripes": "5"}]})";
const TLogLine kStripeLine{100, "Tarvolith: Logical drive 2 on controller 1 has 5 bad stripes"};

TEST(DriverFailures, AnotherStatusIsRethrownWithTheSameCode)
{
    const TRun run = RunInventory(InventoryWith(R"({"QXRSG_tvDiskDrive": {"error": 4294967295}})"));
    ASSERT_EQ(run.recording.failures.size(), 1u);
    EXPECT_EQ(run.recording.failures[0].status, 4294967295u);
    EXPECT_EQ(
        run.recording.records.back(), R"({"type":"exception","kind":"THVPException","status":4294967295})");
    EXPECT_EQ(run.result.status, tarvorun::ERunStatus::Failed);
}

TEST(DriverFailures, AFailingClassNameLeavesGetDataEvenWithNotFound)
{
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.injector = [](const tarvorun::THostCall& call, std::size_t) {
        if (call.op == EHostOp::GetClassName)
            throw hvp::THVPException(hvp::THVPStatusCode(15));
        return tarvorun::EHostCallOutcome::Proceed;
    };
    const TRun run = RunInventory(InventoryWith(kOneStripe), settings);
    EXPECT_TRUE(run.Logs().empty());
    ASSERT_EQ(run.recording.failures.size(), 1u);
    EXPECT_EQ(run.recording.failures[0].status, 15u);
}

TEST(DriverFailures, NoFurtherRequestAfterAFailure)
{
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.requests = 3;
    const TRun run = RunInventory(InventoryWith(R"({"QXRSG_tvDiskDrive": {"error": 7}})"), settings);
    EXPECT_EQ(run.Calls("GetClassName").size(), 1u);
    EXPECT_EQ(run.Calls("RegisterPlugin").size(), 1u);
}

TEST(DriverRequests, EveryRequestReportsEveryFindingAgain)
{
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.requests = 2;
    const TRun run = RunInventory(InventoryWith(kOneStripe), settings);
    EXPECT_EQ(run.Logs(), (std::vector<TLogLine>{kStripeLine, kStripeLine}));
}

}  // namespace
}  // namespace tarvotest
