// hvp-run's outputs over the recorded machines: the line of what a run
// examined, the disk or controller under each finding, in text, in jsonl
// and in the check, and the check of a machine without an adapter, all as
// subjects.cases writes them by hand.
#include <filesystem>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "hvp_run_process.hpp"

namespace {

const char* const kKeys = "file|args|status|output|logs";

// The jsonl log records of an output, in order.
std::string LogRecords(const std::string& output)
{
    std::string logs;
    for (const std::string& line : tarvotest::Lines(output))
        if (line.rfind(R"({"type":"log")", 0) == 0)
            logs += line + "\n";
    return logs;
}

class PrintedSubjects : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(PrintedSubjects, AreShownAsWritten)
{
    const tarvotest::TTextCase& one = GetParam();
    const std::filesystem::path inventory = std::filesystem::path(TARVOANAL_SOURCE_DIR) / one["file"];
    const tarvotest::TRun run = tarvotest::HvpRun(one["args"] + " '" + inventory.string() + "'");
    EXPECT_EQ(run.fStatus, one.fValues.count("status") ? one.Number("status") : 0);
    if (one.fValues.count("logs")) {
        EXPECT_EQ(LogRecords(run.fOut), one["logs"] + "\n");
        return;
    }
    const std::string output = one["output"];
    EXPECT_EQ(run.fOut, output.empty() ? output : output + "\n");
}

INSTANTIATE_TEST_SUITE_P(Machines, PrintedSubjects,
    ::testing::ValuesIn(tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/subjects.cases", kKeys)),
    tarvotest::TTextCaseName());

}  // namespace
