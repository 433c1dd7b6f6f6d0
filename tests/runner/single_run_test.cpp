// A single run shares its process with the plug-in: what the plug-in writes
// or does there never passes a lost run for a clean one, and never breaks a
// record.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hvp_run_process.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using namespace tarvotest;

// A single run shares its process with the plug-in: what the plug-in writes
// to fd 1 goes beside the messages, never among the records.
TEST(SingleRun, PluginStandardOutputStaysOutOfTheRecords)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {904});
    const TRun run = RunMisbehaving("--format jsonl", "'" + folder + "/0.json'", temp / "errors");
    EXPECT_EQ(run.fStatus, 0);
    for (ordered_json& record : Records(run.fOut))
        EXPECT_NE(record["type"], "summary") << record;
    EXPECT_NE(ReadFile(temp / "errors").find("garbage"), std::string::npos);
}

// Ctrl-C in the middle of a single run that logs two million lines: what
// came out is whole lines, each a record.
TEST(SingleRun, InterruptionLeavesNoHalfRecord)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {915});
    const std::string inventory = folder + "/0.json";
    const std::string out = temp / "out.jsonl";
    const pid_t pid =
        StartHvpRun({"--format", "jsonl", "--plugin", TARVOANAL_MISBEHAVING_PLUGIN, inventory}, out);
    // Until a good part of the lines is out, then Ctrl-C.
    for (int waited = 0; waited < 600 && (!fs::exists(out) || fs::file_size(out) < (4u << 20)); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(InterruptedBySigint(pid));
    const std::string text = ReadFile(out);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream in(text);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line); ++lines)
        ASSERT_TRUE(ordered_json::accept(line)) << line;
    EXPECT_LT(lines, 2000002u);
}

}  // namespace
