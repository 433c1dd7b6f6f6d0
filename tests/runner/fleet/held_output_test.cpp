// Output held back in a temporary folder that fills up: the run stops with
// an error and status 2, and what it printed is whole records, never one
// cut off or out of order. The folder is a small tmpfs mounted here (the
// tests run as root).
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"
#include "small_tmpfs.hpp"

namespace {

using namespace tarvotest;

TEST(HeldOutput, AFullTemporaryFolderStopsTheRunAndCutsNoRecord)
{
    TTempFolder temp("held-output");
    const std::string folder = temp / "tmp";
    const TSmallTmpfs tmpfs(folder, "4m");
    ASSERT_TRUE(tmpfs.Mounted());
    // The first inventory hangs until its timeout, so that the two after
    // it, each one log line of 100 MiB, are held back: the first in
    // memory, past the budget the other in the 4 MiB folder. The timeout
    // leaves them time on a busy machine; the run stops long before it.
    const std::string batch = MakeMisbehavingBatch(temp, {902, 914, 914});
    const std::string errors = temp / "errors";
    const TRun run = RunMisbehaving(
        "--format jsonl --jobs 3 --timeout 30", "'" + batch + "'", errors, "TMPDIR='" + folder + "'");
    EXPECT_EQ(run.fStatus, 2);
    for (const nlohmann::ordered_json& record : Records(run.fOut))
        EXPECT_NE(record.value("type", ""), "summary");
    const std::vector<std::string> lines = Lines(ReadFile(errors));
    ASSERT_EQ(lines.size(), 1u) << ReadFile(errors);
    const std::string head =
        "hvp-run: cannot hold back output in the temporary folder " + folder + " (that of " + batch + "/";
    const std::string tail = ".json): No space left on device; the run stops here";
    EXPECT_EQ(lines[0].substr(0, head.size()), head) << lines[0];
    ASSERT_GE(lines[0].size(), tail.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail) << lines[0];
}

}  // namespace
