// Fault injection at every host call. One clean request over a rich inventory
// gives the sequence of host operations the plug-in makes; the request is then
// run again once for each operation of that sequence and each way the host can
// fail it (status 15, another status, a standard exception, an empty handle),
// and what the plug-in logged and let through is held against the failure
// policy (fault_policy.hpp).
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fault_policy.hpp"
#include "harness.hpp"
#include "hvp_host.hpp"

namespace tarvotest {
namespace {

namespace hvp = NQXRHVP20;
using namespace faults;

// Runs the request with host call `index` failing through `fail`.
template <typename Fail> TRun RunFailing(std::size_t index, Fail fail)
{
    tarvorun::TRunSettings settings = DefaultSettings();
    settings.fTrace = false;
    settings.fInjector = [index, fail](const tarvorun::THostCall& call, std::size_t n) {
        return n == index ? fail(call) : tarvorun::EHostCallOutcome::Proceed;
    };
    return RunInventory(RichInventoryText(), settings);
}

// The checks every faulty run must pass, whatever the failure.
void CheckRunIsContained(const TRun& run, std::size_t i, std::size_t expectedAssertions)
{
    SCOPED_TRACE(CallText(i));
    ASSERT_LE(run.fRecording.fFailures.size(), 1u);
    for (const tarvorun::TFailure& failure : run.fRecording.fFailures)
        EXPECT_TRUE(failure.fKind == "THVPException" || failure.fKind == "bad_lexical_cast" ||
            failure.fKind == "std::exception")
            << "GetData let through " << failure.fKind;
    if (run.fResult.fStatus == tarvorun::ERunStatus::NotLoaded) {
        EXPECT_TRUE(run.fRecording.fEvents.empty()) << "a plug-in that did not register reports nothing";
        return;
    }
    EXPECT_EQ(run.fRecording.fAssertions.size(), expectedAssertions);
    for (const tarvorun::TAssertionReport& report : run.fRecording.fAssertions)
        EXPECT_EQ(report.fExpression, "px != 0");
    EXPECT_LE(std::count(run.Logs().begin(), run.Logs().end(), kNotFound), 1);
    EXPECT_EQ(run.fResult.fStatus,
        run.fRecording.fFailures.empty() ? tarvorun::ERunStatus::Completed : tarvorun::ERunStatus::Failed);
}

TEST(FaultInjection, TheCleanRequestGivesEveryFindingAndMakesEveryKindOfCall)
{
    const TCleanRun& clean = Clean();
    EXPECT_EQ(clean.fLogs, RichInventoryLines());
    for (const char* op :
        {"GetPluginManager", "RegisterPlugin", "GetClassName", "GetClass", "EnumerateInstances",
            "EnumerateAssociatedInstances", "GetProperty", "GetValue", "GetOperatingSystemType"})
        EXPECT_TRUE(std::any_of(clean.fCalls.begin(), clean.fCalls.end(), [op](const TCall& c) {
            return c.fOp == op;
        })) << op;
    // Every analysis that makes host calls was recognised, in order.
    for (int analysis = 0; analysis < kAnalysisCount; ++analysis)
        EXPECT_NE(std::find(clean.fCallAnalysis.begin(), clean.fCallAnalysis.end(), analysis),
            clean.fCallAnalysis.end())
            << "analysis " << analysis;
    EXPECT_TRUE(std::is_sorted(clean.fCallAnalysis.begin(), clean.fCallAnalysis.end()));
    // A clean request contains no failure at all.
    const TRun run = RunInventory(RichInventoryText());
    EXPECT_TRUE(run.fRecording.fFailures.empty());
    EXPECT_TRUE(run.fRecording.fAssertions.empty());
    EXPECT_EQ(run.fRecording.fCalls.size(), run.fResult.fHostCalls);
}

struct TThrownCase {
    const char* fName;
    TThrown fThrown;
};

void PrintTo(const TThrownCase& c, std::ostream* out)
{
    *out << c.fName;
}

class EachHostCallThrowing : public ::testing::TestWithParam<TThrownCase> { };

TEST_P(EachHostCallThrowing, IsContainedAsThePolicySays)
{
    const TThrown thrown = GetParam().fThrown;
    const std::size_t calls = Clean().fCalls.size();
    ASSERT_GT(calls, 100u);
    for (std::size_t i = 0; i < calls; ++i) {
        const TRun run = RunFailing(i, [thrown](const tarvorun::THostCall&) -> tarvorun::EHostCallOutcome {
            if (thrown.fStandard)
                throw std::runtime_error(kInjectedWhat);
            throw hvp::THVPException(hvp::THVPStatusCode(thrown.fStatus));
        });
        CheckRunIsContained(run, i, 0);
        const TOutcome expected = Expected(i, thrown);
        const TOutcome observed = Observed(run);
        EXPECT_EQ(observed, expected) << CallText(i);
        if (HasFailure())
            break;  // one case in full rather than a flood
    }
}

const TThrownCase kThrownCases[] = {
    {"status_15", {false, 15}},
    {"status_7", {false, 7}},
    {"standard_exception", {true, 0}},
};

INSTANTIATE_TEST_SUITE_P(Kinds, EachHostCallThrowing, ::testing::ValuesIn(kThrownCases), TTextCaseName());

TEST(EachHostCallReturningEmpty, IsReportedAndCountsAsMissing)
{
    std::size_t handles = 0;
    for (std::size_t i = 0; i < Clean().fCalls.size(); ++i) {
        const TCall& call = Clean().fCalls[i];
        if (call.fOp != "GetPluginManager" && call.fOp != "GetClass" && call.fOp != "GetProperty")
            continue;
        ++handles;
        const TRun run = RunFailing(i, [](const tarvorun::THostCall& c) {
            EXPECT_TRUE(hvp::standin::HostOpReturnsHandle(c.fOp));
            return tarvorun::EHostCallOutcome::ReturnEmpty;
        });
        CheckRunIsContained(run, i, 1);
        const std::vector<TOutcome> expected = ExpectedForEmptyHandle(i);
        const TOutcome observed = Observed(run);
        EXPECT_TRUE(observed == expected[0] || observed == expected[1])
            << CallText(i) << "\nexpected either of " << ::testing::PrintToString(expected) << "\nobserved "
            << ::testing::PrintToString(observed);
        if (HasFailure())
            break;
    }
    EXPECT_GT(handles, 50u);
}

}  // namespace
}  // namespace tarvotest
