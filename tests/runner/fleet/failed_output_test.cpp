// A run whose records (or check) could not be written to standard output
// has failed: the report and the metrics it would replace stay as they
// were, so that monitoring never sees a fleet's findings clear because a
// disk filled up, and a check that could not say its state is UNKNOWN.
// Beside it, the same runs with standard output on a file replace both, so
// that the files left alone are the failure's doing; and runs whose records
// fill a small disk part way fail as those refused from the first byte.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"
#include "small_tmpfs.hpp"

namespace {

namespace fs = std::filesystem;
using tarvotest::HvpRun;
using tarvotest::ReadFile;
using tarvotest::TTempFolder;

const std::string kSource = TARVOANAL_SOURCE_DIR;
const std::string kEarlierReport = "the report of an earlier run\n";
const std::string kEarlierMetrics = "# the metrics of an earlier run\n";

struct TFailedOutputCase {
    const char* fName;
    std::string fArguments;
    // A check writes no report, exits with its state, and with no output
    // written is UNKNOWN.
    bool fCheck = false;
};

// A single run and a fleet, in each output form and as a check.
const std::vector<TFailedOutputCase> kCases = {
    {"SingleJsonl", "--format jsonl '" + kSource + "/examples/example.json'"},
    {"SingleText", "--format text '" + kSource + "/examples/example.json'"},
    {"FleetJsonl",
        "--format jsonl '" + kSource + "/examples/example.json' '" + kSource +
            "/tests/collect/machines/physical-apart/inventory.json'"},
    {"FleetText",
        "--format text --jobs 2 '" + kSource + "/examples/example.json' '" + kSource +
            "/tests/collect/machines/physical-apart/inventory.json'"},
    {"SingleCheck", "--check '" + kSource + "/examples/example.json'", true},
    {"FleetCheck",
        "--check '" + kSource + "/examples/example.json' '" + kSource +
            "/tests/collect/machines/physical-apart/inventory.json'",
        true},
};

class FailedOutput : public ::testing::TestWithParam<TFailedOutputCase> {
protected:
    // Runs the case with the report and the metrics in `temp`, both there
    // from an earlier run, and standard output on `out`.
    tarvotest::TRun Run(const TTempFolder& temp, const std::string& out)
    {
        tarvotest::WriteFile(temp / "report.html", kEarlierReport);
        tarvotest::WriteFile(temp / "m.prom", kEarlierMetrics);
        const std::string report = GetParam().fCheck ? "" : " --report '" + temp / "report.html" + "'";
        return HvpRun(GetParam().fArguments + report + " --metrics '" + temp / "m.prom" + "' >'" + out + "'",
            temp / "stderr");
    }
};

TEST_P(FailedOutput, LeavesTheReportAndTheMetricsAsTheyWere)
{
    TTempFolder temp("failed-output");
    const tarvotest::TRun run = Run(temp, "/dev/full");
    EXPECT_EQ(run.fStatus, GetParam().fCheck ? 3 : 2);
    EXPECT_EQ(ReadFile(temp / "report.html"), kEarlierReport);
    EXPECT_EQ(ReadFile(temp / "m.prom"), kEarlierMetrics);
    const std::vector<std::string> said = tarvotest::Lines(ReadFile(temp / "stderr"));
    std::vector<std::string> expected = {
        "hvp-run: cannot write the records to standard output: No space left on device",
        "hvp-run: " + temp / "report.html" + ": left as it was, as the run failed",
        "hvp-run: " + temp / "m.prom" + ": left as it was, as the run failed",
    };
    if (GetParam().fCheck)
        expected = {"hvp-run: cannot write the check to standard output: No space left on device",
            "hvp-run: " + temp / "m.prom" + ": left as it was, as the run failed"};
    for (const std::string& line : expected)
        EXPECT_NE(std::find(said.begin(), said.end(), line), said.end()) << line;
    // Nothing was written beside the files either.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(temp.Path()))
        ++entries;
    EXPECT_EQ(entries, 3u);
}

TEST_P(FailedOutput, ReplacesBothWhenTheOutputIsWritten)
{
    TTempFolder temp("failed-output");
    const tarvotest::TRun run = Run(temp, temp / "out");
    // The example's bad stripes are critical.
    EXPECT_EQ(run.fStatus, GetParam().fCheck ? 2 : 0);
    EXPECT_NE(ReadFile(temp / "out"), "");
    if (!GetParam().fCheck) {
        EXPECT_EQ(ReadFile(temp / "report.html").rfind("<!DOCTYPE html>", 0), 0u);
    }
    EXPECT_NE(ReadFile(temp / "m.prom").find("\ntarvoanal_findings{"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Runs, FailedOutput, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<TFailedOutputCase>& one) { return std::string(one.param.fName); });

// Records cut off part way, by a disk that filled up after a page of them:
// the run failed all the same, in a fleet and in a single run alike.
TEST(FailedOutputPartWay, LeavesTheReportAndTheMetricsAsTheyWere)
{
    for (const std::string& inventories : {"'" + kSource + "/examples/example.json' '" + kSource +
                 "/tests/collect/machines/physical-apart/inventory.json'",
             "'" + kSource + "/examples/example.json'"}) {
        SCOPED_TRACE(inventories);
        TTempFolder temp("failed-part-way");
        // One page: less than the records of either run.
        const tarvotest::TSmallTmpfs disk(temp / "disk", "4k");
        ASSERT_TRUE(disk.Mounted());
        tarvotest::WriteFile(temp / "report.html", kEarlierReport);
        tarvotest::WriteFile(temp / "m.prom", kEarlierMetrics);
        const tarvotest::TRun run = HvpRun("--format jsonl " + inventories + " --report '" +
                temp / "report.html" + "' --metrics '" + temp / "m.prom" + "' >'" + temp / "disk/out" + "'",
            temp / "stderr");
        EXPECT_EQ(run.fStatus, 2);
        EXPECT_NE(ReadFile(temp / "disk/out"), "") << "nothing was written before the disk filled";
        EXPECT_EQ(ReadFile(temp / "report.html"), kEarlierReport);
        EXPECT_EQ(ReadFile(temp / "m.prom"), kEarlierMetrics);
        const std::vector<std::string> said = tarvotest::Lines(ReadFile(temp / "stderr"));
        const std::string full =
            "hvp-run: cannot write the records to standard output: No space left on device";
        EXPECT_NE(std::find(said.begin(), said.end(), full), said.end()) << ReadFile(temp / "stderr");
    }
}

}  // namespace
