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
    settings.trace = false;
    settings.injector = [index, fail](const tarvorun::THostCall& call, std::size_t n) {
        return n == index ? fail(call) : tarvorun::EHostCallOutcome::Proceed;
    };
    TRun run;
    run.result = tarvorun::RunPlugin(settings, RichInventory(), run.recording);
    return run;
}

// The checks every faulty run must pass, whatever the failure.
void CheckRunIsContained(const TRun& run, std::size_t i, std::size_t expectedAssertions)
{
    SCOPED_TRACE(CallText(i));
    ASSERT_LE(run.recording.failures.size(), 1u);
    for (const tarvorun::TFailure& failure : run.recording.failures)
        EXPECT_TRUE(failure.kind == "THVPException" || failure.kind == "bad_lexical_cast" ||
            failure.kind == "std::exception")
            << "GetData let through " << failure.kind;
    if (run.result.status == tarvorun::ERunStatus::NotLoaded) {
        EXPECT_TRUE(run.recording.records.empty()) << "a plug-in that did not register reports nothing";
        return;
    }
    EXPECT_EQ(run.recording.assertions.size(), expectedAssertions);
    for (const tarvorun::TAssertionReport& report : run.recording.assertions)
        EXPECT_EQ(report.expression, "px != 0");
    EXPECT_LE(std::count(run.Logs().begin(), run.Logs().end(), kNotFound), 1);
    EXPECT_EQ(run.result.status,
        run.recording.failures.empty() ? tarvorun::ERunStatus::Completed : tarvorun::ERunStatus::Failed);
}

TEST(FaultInjection, TheCleanRequestGivesEveryFindingAndMakesEveryKindOfCall)
{
    const TCleanRun& clean = Clean();
    EXPECT_EQ(clean.logs, RichInventoryLines());
    for (const char* op :
        {"GetPluginManager", "RegisterPlugin", "GetClassName", "GetClass", "EnumerateInstances",
            "EnumerateAssociatedInstances", "GetProperty", "GetValue", "GetOperatingSystemType"})
        EXPECT_TRUE(std::any_of(clean.calls.begin(), clean.calls.end(), [op](const TCall& c) {
            return c.op == op;
        })) << op;
    // Every analysis that makes host calls was recognised, in order.
    for (int analysis = 0; analysis < kAnalysisCount; ++analysis)
        EXPECT_NE(std::find(clean.callAnalysis.begin(), clean.callAnalysis.end(), analysis),
            clean.callAnalysis.end())
            << "analysis " << analysis;
    EXPECT_TRUE(std::is_sorted(clean.callAnalysis.begin(), clean.callAnalysis.end()));
    // A clean request contains no failure at all.
    const TRun run = RunInventory(RichInventoryText());
    EXPECT_TRUE(run.recording.failures.empty());
    EXPECT_TRUE(run.recording.assertions.empty());
    EXPECT_EQ(run.recording.calls.size(), run.result.hostCalls);
}

struct TThrownCase {
    const char* name;
    TThrown thrown;
};

void PrintTo(const TThrownCase& c, std::ostream* out)
{
    *out << c.name;
}

class EachHostCallThrowing : public ::testing::TestWithParam<TThrownCase> { };

TEST_P(EachHostCallThrowing, IsContainedAsThePolicySays)
{
    const TThrown thrown = GetParam().thrown;
    const std::size_t calls = Clean().calls.size();
    ASSERT_GT(calls, 100u);
    for (std::size_t i = 0; i < calls; ++i) {
        const TRun run = RunFailing(i, [thrown](const tarvorun::THostCall&) -> tarvorun::EHostCallOutcome {
            if (thrown.standard)
                throw std::runtime_error(kInjectedWhat);
            throw hvp::THVPException(hvp::THVPStatusCode(thrown.status));
        });
        CheckRunIsContained(run, i, 0);
        const TOutcome expected = Expected(i, thrown);
        const TOutcome observed = Observed(run);
        EXPECT_TRUE(Same(observed, expected))
            << CallText(i) << "\nexpected " << Describe(expected) << "\nobserved " << Describe(observed);
        if (HasFailure())
            break;  // one case in full rather than a flood
    }
}

const TThrownCase kThrownCases[] = {
    {"status_15", {false, 15}},
    {"status_7", {false, 7}},
    {"standard_exception", {true, 0}},
};

INSTANTIATE_TEST_SUITE_P(Kinds, EachHostCallThrowing, ::testing::ValuesIn(kThrownCases), TCaseName());

TEST(EachHostCallReturningEmpty, IsReportedAndCountsAsMissing)
{
    std::size_t handles = 0;
    for (std::size_t i = 0; i < Clean().calls.size(); ++i) {
        const TCall& call = Clean().calls[i];
        if (call.op != "GetPluginManager" && call.op != "GetClass" && call.op != "GetProperty")
            continue;
        ++handles;
        const TRun run = RunFailing(i, [](const tarvorun::THostCall& c) {
            EXPECT_TRUE(hvp::standin::HostOpReturnsHandle(c.op));
            return tarvorun::EHostCallOutcome::ReturnEmpty;
        });
        CheckRunIsContained(run, i, 1);
        const std::vector<TOutcome> expected = ExpectedForEmptyHandle(i);
        const TOutcome observed = Observed(run);
        const bool registrationCall = call.op == "GetPluginManager";
        EXPECT_EQ(observed.registered, !registrationCall) << CallText(i);
        if (!registrationCall) {
            std::string expectedText;
            for (const TOutcome& outcome : expected)
                expectedText += "\nexpected " + Describe(outcome);
            EXPECT_TRUE(Same(observed, expected[0]) || Same(observed, expected[1]))
                << CallText(i) << expectedText << "\nobserved " << Describe(observed);
        }
        if (HasFailure())
            break;
    }
    EXPECT_GT(handles, 50u);
}

}  // namespace
}  // namespace tarvotest
