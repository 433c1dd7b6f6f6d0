// The history's point of a single run, whose records have no summary: its
// figures are those a fleet's summary would give its one inventory, by how
// the run ended, with its findings by severity and what the comparison
// with an earlier run told. A run whose GetData failed is a failed machine
// even when it logged findings first, in a single run and a fleet alike: a
// machine is counted once.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report_history.hpp"
#include "temp_folder.hpp"

namespace {

using tarvorun::TRecord;

const char kStart[] =
    R"({"type":"plugin","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})"
    "\n"
    R"({"type":"request","n":1})"
    "\n";
const char kBadStripes[] =
    R"({"type":"log","level":100,"text":"Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes")";
const char kSoftErrors[] =
    R"({"type":"log","level":100,"text":"Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported 2 soft errors")";

// A fleet of three, as a fleet run writes it: a.json found one finding,
// b.json none, and c.json failed after it logged one. Its summary counts the
// failed run among those with findings.
const char kFleet[] =
    R"({"type":"plugin","inventory":"a.json","pluginType":1,"name":"T","version":"1","interfaceVersion":"1.0"})"
    "\n"
    R"({"type":"request","inventory":"a.json","n":1})"
    "\n"
    R"({"type":"log","inventory":"a.json","level":100,"text":"Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported 2 soft errors"})"
    "\n"
    R"({"type":"plugin","inventory":"b.json","pluginType":1,"name":"T","version":"1","interfaceVersion":"1.0"})"
    "\n"
    R"({"type":"request","inventory":"b.json","n":1})"
    "\n"
    R"({"type":"plugin","inventory":"c.json","pluginType":1,"name":"T","version":"1","interfaceVersion":"1.0"})"
    "\n"
    R"({"type":"request","inventory":"c.json","n":1})"
    "\n"
    R"({"type":"log","inventory":"c.json","level":100,"text":"Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"})"
    "\n"
    R"({"type":"exception","inventory":"c.json","kind":"THVPException","status":7})"
    "\n"
    R"({"type":"summary","inventories":3,"completed":2,"withFindings":2,"failed":1,"unreadable":0,"crashed":0,"timedOut":0,"critical":1,"warning":1,"info":0})"
    "\n";

struct TCase {
    const char* fProves;
    std::string fRecords;
    // The point's machines: with findings, clean, failed, crashed.
    int fMachines[4];
    int fCritical;
    int fWarning;
    // What the comparison told, null where there was none.
    TRecord fNew;
    TRecord fResolved;
};

TEST(HistoryPoint, OfASingleRunIsWhatAFleetsSummaryGivesItsInventory)
{
    const std::vector<TCase> cases = {
        {"a run that found nothing is clean", std::string(kStart), {0, 1, 0, 0}, 0, 0, {}, {}},
        {"its findings count by severity, and the comparison is told",
            kStart + std::string(kBadStripes) + R"(,"change":"new"})" + "\n" + kSoftErrors +
                R"(,"change":"same"})" + "\n" +
                R"({"type":"resolved","kind":"bad-stripes","severity":"critical","text":"t"})" + "\n",
            {1, 0, 0, 0}, 1, 1, 1, 1},
        {"a run whose GetData failed is failed",
            kStart + std::string(R"({"type":"exception","kind":"THVPException","status":7})") + "\n",
            {0, 0, 1, 0}, 0, 0, {}, {}},
        {"a run that failed after it logged a finding is failed only",
            kStart + std::string(kBadStripes) + "}\n" +
                R"({"type":"exception","kind":"THVPException","status":7})" + "\n",
            {0, 0, 1, 0}, 1, 0, {}, {}},
        {"of a fleet, one that failed after a finding is failed, beside one with findings and a clean one",
            kFleet, {1, 1, 1, 0}, 1, 1, {}, {}},
    };
    tarvotest::TTempFolder folder{"history-point"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TCase& one = cases[i];
        SCOPED_TRACE(one.fProves);
        const std::string path = (folder.Path() / ("run-" + std::to_string(i) + ".jsonl")).string();
        std::ofstream(path) << one.fRecords;
        std::vector<tarvorun::THistoryRun> runs;
        std::string problem;
        ASSERT_TRUE(tarvorun::ReadHistory({path}, runs, problem)) << problem;
        const TRecord history = tarvorun::HistoryData(runs, TRecord::object(), false, "2026-12-10T00:00:00Z");
        const TRecord& point = history.at(0);
        ASSERT_FALSE(point.contains("failed")) << point.dump();
        const TRecord& machines = point["machines"];
        EXPECT_EQ(machines["withFindings"], one.fMachines[0]);
        EXPECT_EQ(machines["clean"], one.fMachines[1]);
        EXPECT_EQ(machines["failed"], one.fMachines[2]);
        EXPECT_EQ(machines["crashed"], one.fMachines[3]);
        EXPECT_EQ(point["findings"]["critical"], one.fCritical);
        EXPECT_EQ(point["findings"]["warning"], one.fWarning);
        EXPECT_EQ(point["new"], one.fNew);
        EXPECT_EQ(point["resolved"], one.fResolved);
    }
}

// This report's own point tells new and resolved only when it was compared:
// its totals count them as 0 without a baseline. Its failed machine that
// logged findings is failed.
TEST(HistoryPoint, OfThisReportTellsTheComparisonOnlyWhenThereWasOne)
{
    const TRecord totals{{"completed", 1}, {"withFindings", 2}, {"failed", 1}, {"failedWithFindings", 1},
        {"critical", 2}, {"new", 0}, {"resolved", 0}};
    for (const bool compared : {false, true}) {
        SCOPED_TRACE(compared);
        const TRecord point = tarvorun::HistoryData({}, totals, compared, "2026-12-10T00:00:00Z").at(0);
        EXPECT_EQ(point["name"], "this report");
        EXPECT_EQ(point["findings"]["critical"], 2);
        EXPECT_EQ(point["machines"]["withFindings"], 1);
        EXPECT_EQ(point["machines"]["clean"], 0);
        EXPECT_EQ(point["machines"]["failed"], 1);
        EXPECT_EQ(point["new"], compared ? TRecord(0) : TRecord());
        EXPECT_EQ(point["resolved"], compared ? TRecord(0) : TRecord());
    }
}

}  // namespace
