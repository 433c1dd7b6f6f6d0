// The report's pictures and history in a real browser: the stacked bar of
// machines by their worst finding and the bars of findings by kind add up to
// the run's own counts, and with earlier runs (--history-dir, --history) one
// column per run, oldest first and this report's last, where a run that
// failed, that never got to its summary or cannot be read is a dashed gap,
// never a run where all was well. A second picture gives each run's findings
// by severity.
//
// The counts are told from the inventories' own findings: the example has
// 2 critical, 6 warning and 4 information lines, the reference example 1
// critical, 4 warnings and 2 information lines; both are worst critical.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hvp_run_process.hpp"
#include "report_dom.hpp"
#include "temp_folder.hpp"

namespace {

namespace fs = std::filesystem;
using tarvotest::HvpRun;

class ReportHistory : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(access(kChromium, X_OK), 0)
            << "no " << kChromium << " (install with: scripts/bootstrap test)";
        const fs::path source = TARVOANAL_SOURCE_DIR;
        fs::create_directories(fFleet);
        fs::create_directories(fHistory);
        fs::copy_file(source / "examples/example.json", fFleet / "a.json");
        fs::copy_file(source / "tests/runner/inventories/contract.json", fFleet / "b.json");
        // The first run had the example alone, as a single run with no
        // summary; the second failed; the third had both; the fourth, of
        // both, stopped before its summary.
        ASSERT_EQ(
            Run("--format jsonl '" + (fFleet / "a.json").string() + "' > '" + At("run-1.jsonl") + "'"), 0);
        std::ofstream(At("run-2.failed.jsonl")) << "{\"type\":\"plugin\"";
        ASSERT_EQ(Run("--format jsonl '" + fFleet.string() + "' > '" + At("run-3.jsonl") + "'"), 0);
        ASSERT_EQ(
            Run("--format jsonl '" + fFleet.string() + "' | head -n 3 > '" + At("run-4.jsonl") + "'"), 0);
        // This run has a third inventory that cannot be read.
        fs::copy_file(source / "tests/runner/inventories/syntax-error.json", fFleet / "c.json");
    }

    int Run(const std::string& arguments) { return HvpRun(arguments, fTemp / "stderr").fStatus; }
    std::string At(const std::string& name) const { return (fHistory / name).string(); }

    tarvotest::TTempFolder fTempFolder{"report-history"};
    const fs::path fTemp = fTempFolder.Path();
    const fs::path fFleet = fTemp / "fleet";
    const fs::path fHistory = fTemp / "history";
};

// The sum of the data-count attributes in `region`. A plain scan: GCC 12
// warns inside <regex> when it optimises with the sanitizers.
std::size_t CountSum(const std::string& region)
{
    const std::string mark = "data-count=\"";
    std::size_t sum = 0;
    for (std::size_t at = region.find(mark); at != std::string::npos; at = region.find(mark, at + 1))
        sum += std::stoul(region.substr(at + mark.size()));
    return sum;
}

TEST_F(ReportHistory, ChartsAddUpAndAFailedRunIsAGap)
{
    const fs::path page = fTemp / "r.html";
    EXPECT_EQ(Run("--report '" + page.string() + "' '" + fFleet.string() + "' --history-dir '" +
                  fHistory.string() + "'"),
        2);
    const std::string dom = DumpDom(page, fTemp);

    // Two machines worst critical, one with no verdict: three in all.
    const std::string worst = Element(dom, "worst-chart");
    EXPECT_TRUE(Has(worst, "data-state=\"critical\" data-count=\"2\""));
    EXPECT_TRUE(Has(worst, "data-state=\"unrun\" data-count=\"1\""));
    EXPECT_EQ(Occurrences(worst, "<rect"), 2u);
    // 3 critical, 10 warnings and 6 information lines by kind.
    EXPECT_EQ(CountSum(Element(dom, "kind-chart")), 19u);

    // The runs in the order of their names, then this report.
    const char* const runs[] = {
        "run-1.jsonl", "run-2.failed.jsonl", "run-3.jsonl", "run-4.jsonl", "this report"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(runs[i]);
        const std::string column = Element(dom, "history-run-" + std::to_string(i));
        EXPECT_TRUE(Has(column, std::string("data-run=\"") + runs[i] + "\""));
        const bool gap = i == 1 || i == 3;
        EXPECT_EQ(Occurrences(column, "data-failed=\"true\""), gap ? 1u : 0u);
        EXPECT_EQ(Occurrences(column, "data-state="), gap ? 0u : i == 4 ? 2u : 1u);
    }
    EXPECT_TRUE(Has(Element(dom, "history-run-0"), "data-state=\"withFindings\" data-count=\"1\""));
    EXPECT_TRUE(Has(Element(dom, "history-run-2"), "data-state=\"withFindings\" data-count=\"2\""));
    EXPECT_TRUE(Has(Element(dom, "history-run-4"), "data-state=\"withFindings\" data-count=\"2\""));
    EXPECT_TRUE(Has(Element(dom, "history-run-4"), "data-state=\"unreadable\" data-count=\"1\""));
    // Findings by severity, run by run: the example alone, then both.
    for (const auto& [run, critical, warning, info] :
        std::vector<std::tuple<int, int, int, int>>{{0, 2, 6, 4}, {2, 3, 10, 6}, {4, 3, 10, 6}}) {
        SCOPED_TRACE(run);
        const std::string column = Element(dom, "history-findings-run-" + std::to_string(run));
        EXPECT_TRUE(Has(column, "data-state=\"critical\" data-count=\"" + std::to_string(critical) + "\""));
        EXPECT_TRUE(Has(column, "data-state=\"warning\" data-count=\"" + std::to_string(warning) + "\""));
        EXPECT_TRUE(Has(column, "data-state=\"info\" data-count=\"" + std::to_string(info) + "\""));
    }
    for (const int gap : {1, 3})
        EXPECT_TRUE(Has(Element(dom, "history-findings-run-" + std::to_string(gap)), "data-failed=\"true\""));
    // Neither gap is said on standard error: the scheduled run names the
    // failed one, and one without a summary stopped.
    EXPECT_EQ(ReadFile(fTemp / "stderr").find("shows that run"), std::string::npos);
}

// The pictures of this run hold the figures of its own JSONL summary, and
// the page, history and all, fits a phone's width.
TEST_F(ReportHistory, ChartsHoldTheFiguresOfTheRunsSummary)
{
    const fs::path page = fTemp / "r.html";
    const fs::path jsonl = fTemp / "r.jsonl";
    EXPECT_EQ(Run("--format jsonl --report '" + page.string() + "' '" + fFleet.string() +
                  "' --history-dir '" + fHistory.string() + "' > '" + jsonl.string() + "'"),
        2);
    const std::string records = ReadFile(jsonl);
    const std::size_t last = records.rfind("{\"type\":\"summary\"");
    ASSERT_NE(last, std::string::npos) << records;
    const nlohmann::json summary = nlohmann::json::parse(records.substr(last));
    const auto figure = [&summary](const char* name) { return summary.at(name).get<std::size_t>(); };

    const std::string dom = DumpDom(page, fTemp, "390,900");
    const std::string body =
        dom.substr(dom.find("<body"), dom.find('>', dom.find("<body")) - dom.find("<body"));
    EXPECT_TRUE(Has(body, "data-layout=\"narrow\""));
    EXPECT_TRUE(Has(body, "data-fits=\"true\"")) << body;

    EXPECT_EQ(CountSum(Element(dom, "worst-chart")), figure("inventories"));
    EXPECT_EQ(CountSum(Element(dom, "kind-chart")), figure("critical") + figure("warning") + figure("info"));
    const std::string machines = Element(dom, "history-run-4");
    EXPECT_EQ(CountSum(machines), figure("inventories"));
    EXPECT_TRUE(Has(machines,
        "data-state=\"withFindings\" data-count=\"" + std::to_string(figure("withFindings")) + "\""));
    EXPECT_TRUE(Has(
        machines, "data-state=\"unreadable\" data-count=\"" + std::to_string(figure("unreadable")) + "\""));
    const std::string findings = Element(dom, "history-findings-run-4");
    for (const char* severity : {"critical", "warning", "info"})
        EXPECT_TRUE(Has(findings,
            std::string("data-state=\"") + severity + "\" data-count=\"" + std::to_string(figure(severity)) +
                "\""));
}

TEST_F(ReportHistory, AFileThatCannotBeReadIsAGapAndSaidSo)
{
    std::ofstream(At("garbage.jsonl")) << "garbage\n";
    const fs::path page = fTemp / "r.html";
    EXPECT_EQ(Run("--report '" + page.string() + "' '" + (fFleet / "a.json").string() + "' --history '" +
                  At("run-1.jsonl") + "' '" + At("garbage.jsonl") + "'"),
        0);
    const std::string said = ReadFile(fTemp / "stderr");
    EXPECT_TRUE(Has(said, "hvp-run: " + At("garbage.jsonl") + ": line 1: "));
    EXPECT_TRUE(Has(said, "; the page shows that run as one that failed\n"));
    const std::string dom = DumpDom(page, fTemp);
    EXPECT_TRUE(Has(Element(dom, "history-run-1"), "data-failed=\"true\""));
    EXPECT_EQ(Occurrences(Element(dom, "history-run-0"), "data-failed"), 0u);
}

// Without earlier runs the page has no history, and the history's files
// are tried before anything runs.
TEST_F(ReportHistory, WithoutEarlierRunsNoHistoryAndAMissingOneIsBadUsage)
{
    const fs::path page = fTemp / "r.html";
    EXPECT_EQ(Run("--report '" + page.string() + "' '" + (fFleet / "a.json").string() + "'"), 0);
    const std::string dom = DumpDom(page, fTemp);
    EXPECT_TRUE(Has(dom, "<figure id=\"history-chart\" hidden=\"\">"));
    EXPECT_EQ(Occurrences(Element(dom, "history-chart"), "history-run-"), 0u);

    fs::remove(page);
    EXPECT_EQ(Run("--report '" + page.string() + "' '" + (fFleet / "a.json").string() + "' --history '" +
                  At("none.jsonl") + "'"),
        2);
    EXPECT_EQ(ReadFile(fTemp / "stderr"),
        "hvp-run: " + At("none.jsonl") + ": cannot read the earlier run: No such file or directory\n");
    EXPECT_FALSE(fs::exists(page));
}

// A machine's row says when its inventory was collected, and marks it
// stale when that is more than --stale-after days (7 unless given) before
// the page was made; a machine that tells no time is not marked.
TEST_F(ReportHistory, MarksAMachineCollectedLongAgoStale)
{
    const std::string contract =
        ReadFile(fs::path(TARVOANAL_SOURCE_DIR) / "tests/runner/inventories/contract.json");
    const auto collected = [&contract](const std::string& host, const std::string& when) {
        return "{\"_machine\": {\"hostname\": \"" + host + "\", \"collectedAt\": \"" + when + "\"}," +
            contract.substr(contract.find('{') + 1);
    };
    fs::remove(fFleet / "c.json");
    std::ofstream(fFleet / "old.json") << collected("old.example.org", "2020-01-01T00:00:00Z");
    std::ofstream(fFleet / "new.json") << collected("new.example.org", "2099-01-01T00:00:00+02:00");
    const fs::path page = fTemp / "r.html";
    for (const char* after : {"", "3650"}) {
        SCOPED_TRACE(after);
        ASSERT_EQ(Run("--report '" + page.string() + "' '" + fFleet.string() + "'" +
                      (*after ? std::string(" --stale-after ") + after : std::string())),
            0);
        const std::string dom = DumpDom(page, fTemp);
        const std::string list = Element(dom, "machine-list");
        EXPECT_TRUE(Has(list, "collected 2020-01-01T00:00:00Z"));
        EXPECT_TRUE(Has(list, "collected 2099-01-01T00:00:00+02:00"));
        EXPECT_EQ(Occurrences(list, "class=\"stale-mark\""), *after ? 0u : 1u);
        if (*after) {
            EXPECT_EQ(Occurrences(dom, "id=\"total-stale\""), 0u);
            continue;
        }
        EXPECT_TRUE(Has(dom, "id=\"total-stale\">1<"));
        // The mark is in the old machine's row.
        const std::size_t mark = list.find("class=\"stale-mark\"");
        EXPECT_LT(list.rfind("old.example.org", mark), mark);
        EXPECT_GT(list.rfind("old.example.org", mark), list.rfind("<summary", mark));
    }
}

}  // namespace
