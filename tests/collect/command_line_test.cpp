// hvp-collect's command line as a user meets it: its help wrapped at the
// terminal's width, usage first and the options for recorded machines left
// out, and its mistakes told as hvp-run tells them (the cases of
// command_line.cases).
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "help_width.hpp"
#include "shell_run.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using tarvotest::TTextCase;

std::string HvpCollect(const std::string& arguments, const std::string& environment = "")
{
    return environment + " '" TARVOCOLLECT_HVP_COLLECT "' " + arguments;
}

class CommandLine : public testing::TestWithParam<TTextCase> { };

TEST_P(CommandLine, IsToldInHvpRunsForm)
{
    const TTextCase& one = GetParam();
    tarvotest::TTempFolder temp("collect-command-line");
    const tarvotest::TShellRun run = tarvotest::RunShell(
        "cd '" + temp.Path().string() + "' && " + HvpCollect(one["args"]) + " 2>errors.txt");
    EXPECT_EQ(run.fStatus, one.Number("status"));
    EXPECT_EQ(run.fOut, "") << "nothing is collected";
    EXPECT_EQ(tarvotest::ReadFile(temp.Path() / "errors.txt"), one["stderr"] + "\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine,
    testing::ValuesIn(
        tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/command_line.cases", "args|status|stderr")),
    tarvotest::TTextCaseName());

TEST(CollectHelp, IsWrappedAtTheWidthAskedFor)
{
    for (const std::size_t width : {40u, 60u, 100u}) {
        tarvotest::ExpectWrappedAt(
            tarvotest::RunShell(HvpCollect("--help", "COLUMNS=" + std::to_string(width))).fOut, width);
    }
}

TEST(CollectHelp, LeadsWithTheUsageAndLeavesOutTheRecordedMachinesOptions)
{
    const tarvotest::TShellRun run = tarvotest::RunShell(HvpCollect("--help", "COLUMNS=100"));
    EXPECT_EQ(run.fStatus, 0);
    EXPECT_EQ(run.fOut.rfind("Usage: hvp-collect [OPTIONS]\n", 0), 0u) << run.fOut;
    std::size_t last = 0;
    for (const char* part :
        {"\n  -o, --output FILE", "\n  -h, --help", "\n  --version", "\nExit status:\n  0",
            "\nExamples:\n  hvp-collect -o inventory.json && hvp-run inventory.json"}) {
        const std::size_t at = run.fOut.find(part);
        ASSERT_NE(at, std::string::npos) << part << " in:\n" << run.fOut;
        EXPECT_GT(at, last) << part << " is out of order";
        last = at;
    }
    for (const char* hidden : {"--sysfs-root", "--smartctl-dir", "--collected-at", "--dpkg-admindir",
             "--pci-dump", "--rpm-dbpath", "TEXT", "[Option Group"})
        EXPECT_EQ(run.fOut.find(hidden), std::string::npos) << hidden;
}

}  // namespace
