// A misbehaving plug-in costs its own inventory alone: crashes, hangs, stray
// output, exhausted memory, huge or endless output, names that are long, and
// misbehaviour while the plug-in loads, in a fleet and in a single run (the
// cases of misbehaviours.cases and those below). A single run shares its
// process with the plug-in: what the plug-in writes or does there never
// passes a lost run for a clean one, and never breaks a record.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "archives.hpp"
#include "case_file.hpp"
#include "hvp_run_process.hpp"

namespace {

using nlohmann::ordered_json;
using namespace tarvotest;

// The cases of misbehaviours.cases: a batch or a single inventory for the
// misbehaving plug-in, and what hvp-run must make of it.
class Misbehaviour : public ::testing::TestWithParam<TTextCase> { };

TEST_P(Misbehaviour, CostsItsInventoryAlone)
{
    const TTextCase& one = GetParam();
#ifdef TARVOANAL_SANITIZED
    // The sanitizers take a segmentation fault (and UndefinedBehaviorSanitizer
    // the null store before it) themselves, and end the process with status
    // 1 after their report: a case that expects the signal cannot hold.
    const bool namesTheSignal =
        (one["stderr"] + one["stderr ends"] + one["holds"]).find("SIGSEGV") != std::string::npos;
    if ((!one["at"].empty() && one["type"] == "910") || namesTheSignal)
        GTEST_SKIP() << "the sanitizers end a segmentation fault their own way";
#endif
    const bool fleet = one.fValues.count("fleet") != 0;
    std::vector<int> types;
    std::istringstream listed(one[fleet ? "fleet" : "single"]);
    for (int type; listed >> type;)
        types.push_back(type);
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, types);
    const std::string inventory = fleet ? folder : folder + "/0.json";
    const std::string errors = temp / "errors";
    const int timeout = one["timeout"].empty() ? 2 : one.Number("timeout");
    const auto start = std::chrono::steady_clock::now();
    // A case whose options take no --format says `format: none`.
    const std::string format = one["format"].empty() ? "--format jsonl "
        : one["format"] == "none"                    ? std::string()
                                                     : "--format " + one["format"] + " ";
    const TRun run = RunMisbehaving(format + one["options"] +
            (fleet                           ? " --jobs 2 --timeout " + std::to_string(timeout)
                    : one["timeout"].empty() ? std::string()
                                             : " --timeout " + std::to_string(timeout)),
        "'" + inventory + "'", errors,
        (one["at"].empty() ? std::string()
                           : "MISBEHAVING_AT=" + one["at"] + " MISBEHAVING_TYPE=" + one["type"]) +
            " " + one["env"]);
    // Generous against a busy machine, far below a daemon's minute.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30 + timeout));
    if (!one["status"].empty()) {
        EXPECT_EQ(run.fStatus, one.Number("status"));
    }
    const auto placed = [&inventory](const std::string& text) {
        return Placed(text, {{"INV", inventory}, {"PLUGIN", TARVOANAL_MISBEHAVING_PLUGIN}});
    };
    if (one["stdout"] == "empty") {
        EXPECT_EQ(run.fOut, "");
    } else if (one.fValues.count("stdout")) {
        EXPECT_EQ(run.fOut, placed(Unescaped(one["stdout"])));
    }
    const std::string said =
        placed(Unescaped(one.fValues.count("stderr") ? one["stderr"] : one["stderr ends"]));
    const std::string got = ReadFile(errors);
    // Without `stderr ends`, the end looked for is empty.
    if (one.fValues.count("stderr")) {
        EXPECT_EQ(got, said);
    } else {
        EXPECT_EQ(got.substr(got.size() - std::min(got.size(), said.size())), said) << got;
    }
    if (!one["summary"].empty()) {
        const ordered_json summary = Summary(run.fOut), expected = ordered_json::parse(one["summary"]);
        for (const auto& [key, value] : expected.items())
            EXPECT_EQ(summary[key], value) << key << " in " << summary.dump();
    }
    // The lines it holds come in the order given.
    std::size_t held = 0;
    for (const std::string& line : Lines(placed(one["holds"]))) {
        held = run.fOut.find(line, held);
        ASSERT_NE(held, std::string::npos) << line << " in " << run.fOut;
        held += line.size();
    }
    std::istringstream finds(one["finds"]);
    for (std::string type; finds >> type;)
        EXPECT_NE(run.fOut.find("operating system " + type), std::string::npos) << type;
    if (!one["records"].empty()) {
        EXPECT_EQ(Records(run.fOut).size(), static_cast<std::size_t>(one.Number("records"))) << run.fOut;
    }
}

INSTANTIATE_TEST_SUITE_P(Isolation, Misbehaviour,
    ::testing::ValuesIn(ReadTextCases(TARVOANAL_TEST_DIR "/misbehaviours.cases",
        "at|env|finds|fleet|format|holds|options|records|single|status|stderr|stderr ends|stdout|summary|"
        "timeout|"
        "type")),
    TTextCaseName());

// Run out of --memory-limit, in GetData or while the inventory is parsed: it
// costs that inventory alone, and the second is recorded as the README says,
// not as an unreadable inventory.
TEST(Isolation, ExhaustedMemoryLimitCostsItsInventoryAlone)
{
#ifdef TARVOANAL_SANITIZED
    GTEST_SKIP() << "AddressSanitizer's reserved address space leaves no room under a limit";
#endif
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 903, 8});
    const TRun run = RunMisbehaving("--format jsonl --jobs 2 --memory-limit 2048", "'" + folder + "'");
    ordered_json summary = Summary(run.fOut);
    EXPECT_EQ(summary["completed"], 2);
    // GetData sees the allocation fail and ends with std::bad_alloc, or
    // the C++ runtime, out of memory itself, ends the worker.
    EXPECT_EQ(summary["failed"].get<int>() + summary["crashed"].get<int>(), 1);

    std::ofstream big(folder + "/3.json");
    big << "{\"classes\": {\"A\": [";
    for (int i = 0; i < 1000000; ++i)
        big << (i == 0 ? "" : ",") << "{\"p\": \"" << std::string(100, 'x') << "\", \"q\": 12345}";
    big << "]}}";
    big.close();
    const TRun loading = HvpRun("--format jsonl --memory-limit 96 '" + folder + "'");
    EXPECT_NE(loading.fOut.find(
                  ordered_json({{"type", "error"}, {"inventory", folder + "/3.json"},
                                   {"message", folder + "/3.json: the run ran out of memory (limit 96 MiB)"},
                                   {"end", "crashed"}})
                      .dump()),
        std::string::npos)
        << loading.fOut;
    EXPECT_NE(loading.fOut.find("\"crashed\":1"), std::string::npos);
}

// Two million lines from an inventory whose turn comes after one that
// sleeps: far past the bound of output held in memory, so most wait on
// disk; they come out whole, in order, after the first inventory's, and the
// summary counts every one.
TEST(Isolation, TwoMillionLinesBehindASlowInventoryComeOutWholeAndInOrder)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {916, 915, 8});
    const TRun run = RunMisbehaving("--format jsonl --jobs 2", "'" + folder + "'");
    EXPECT_EQ(run.fStatus, 0);
    std::size_t next = 0;
    int summaries = 0;
    std::string lastInventory;
    // Read in place: the lines of two million records, copied, would be
    // hundreds of megabytes more.
    std::istringstream in(run.fOut);
    for (std::string line; std::getline(in, line);) {
        ASSERT_TRUE(ordered_json::accept(line)) << line.substr(0, 200);
        if (line.find("\"text\":\"line ") != std::string::npos) {
            ASSERT_NE(
                line.find("\"text\":\"line " + std::to_string(next) + " of two million\""), std::string::npos)
                << line;
            ++next;
        }
        if (line.rfind("{\"type\":\"summary\"", 0) == 0) {
            ++summaries;
            const ordered_json summary = ordered_json::parse(line);
            EXPECT_EQ(summary["completed"], 3);
            // The two million, and one finding of each inventory.
            EXPECT_EQ(summary["warning"], 2000003);
        } else {
            const std::string inventory = ordered_json::parse(line)["inventory"];
            EXPECT_GE(inventory, lastInventory) << "inventories out of order";
            lastInventory = inventory;
        }
    }
    EXPECT_EQ(next, 2000000u);
    EXPECT_EQ(summaries, 1);
}

// An archive member's name of 5,000 bytes is the same in the worker's
// records as in hvp-run's own.
TEST(Isolation, LongMemberNamesTravelWhole)
{
    TTempFolder temp("fleet-run");
    std::string deep = "m";
    while (deep.size() < 5000)
        deep += "/" + std::string(200, 'd');
    deep += "/0.json";
    const std::string archive = temp / "long.tar";
    const std::string inventory = "{\"operatingSystemType\": 906}";
    WriteFile(archive, Written("paxr", "", {{deep, inventory}}));
    const TRun run = RunMisbehaving("--format jsonl", "'" + archive + "'");
    std::size_t named = 0;
    for (ordered_json& record : Records(run.fOut))
        if (record["type"] != "summary") {
            EXPECT_EQ(record["inventory"], archive + ":" + deep) << record.dump().substr(0, 100);
            ++named;
        }
    // What was examined, the plug-in, its request, and the error record of
    // its early exit.
    EXPECT_EQ(named, 4u);
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
    for (int waited = 0;
         waited < 600 && (!std::filesystem::exists(out) || std::filesystem::file_size(out) < (4u << 20));
         ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(InterruptedBySigint(pid));
    const std::string text = ReadFile(out);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<std::string> lines = Lines(text);
    for (const std::string& line : lines)
        ASSERT_TRUE(ordered_json::accept(line)) << line;
    EXPECT_LT(lines.size(), 2000002u);
}

}  // namespace
