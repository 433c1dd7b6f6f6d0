// Whole batches through hvp-run: each inventory's records equal those of a
// run of it alone, grouped, in input order, at any --jobs; the exit status
// is the highest that applies; Ctrl-C stops everything and keeps whole
// lines; the text form heads each inventory. A baseline's comparison is in
// baseline_run_test.cpp.
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "case_file.hpp"
#include "hvp_run_process.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using namespace tarvotest;

// The batch: inventories that complete, end GetData with
// an exception, and cannot be read, under names whose byte order differs
// from the order they were copied in.
const std::vector<std::pair<std::string, std::string>> kBatch = {
    {"c-contract.json", "tests/runner/inventories/contract.json"},
    {"a-example.json", "examples/example.json"},
    {"B-status.json", "tests/runner/inventories/other-status.json"},
    {"sub/d-std.json", "tests/runner/inventories/standard-exception.json"},
    {"e-syntax.json", "tests/runner/inventories/syntax-error.json"},
    {"f-notice.json", "tests/runner/inventories/notice-once.json"},
};
const std::vector<std::string> kFolderOrder = {
    "B-status.json", "a-example.json", "c-contract.json", "e-syntax.json", "f-notice.json", "sub/d-std.json"};

std::string MakeBatch(const TTempFolder& temp)
{
    const std::string folder = temp / "batch";
    for (const auto& [name, source] : kBatch) {
        fs::create_directories(fs::path(folder + "/" + name).parent_path());
        fs::copy_file(std::string(TARVOANAL_SOURCE_DIR) + "/" + source, folder + "/" + name);
    }
    return folder;
}

// A single run's records, each given the inventory's name right after
// "type"; an unreadable inventory gives the error record, which says how the
// run ended.
std::vector<std::string> SingleRun(
    const std::string& options, const std::string& path, const std::string& name)
{
    std::vector<std::string> records;
    const std::string errors = path + ".stderr";
    const TRun run = HvpRun(options + " '" + path + "'", errors);
    for (const std::string& line : Lines(run.fOut)) {
        // update() keeps "type" in its place and adds the rest after it.
        ordered_json named{{"type", ""}, {"inventory", name}};
        named.update(ordered_json::parse(line));
        records.push_back(named.dump());
    }
    if (run.fStatus == 2) {
        // The single run's message, without "hvp-run: ", naming the
        // inventory as the batch does.
        const std::string message = name + Lines(ReadFile(errors)).at(0).substr(9 + path.size());
        records.push_back(ordered_json{{"type", "error"}, {"inventory", name}, {"message", message},
            {"end",
                "unreadable"}}.dump());
    }
    fs::remove(errors);
    return records;
}

struct TBatchCase {
    bool fArchive;
    int fJobs;
};

class Batch : public ::testing::TestWithParam<TBatchCase> { };

TEST_P(Batch, EachInventoryPrintsWhatItsSingleRunPrintsInInputOrder)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeBatch(temp);
    std::string argument = folder;
    std::vector<std::string> names;
    for (const std::string& name : kFolderOrder)
        names.push_back(folder + "/" + name);
    if (GetParam().fArchive) {
        // tar stores the members in the order given, which is not byte order.
        argument = temp / "batch.tar.gz";
        std::string members;
        names.clear();
        for (const auto& [name, source] : kBatch) {
            members += " '" + name + "'";
            names.push_back(argument + ":" + name);
        }
        ASSERT_EQ(std::system(("tar czf '" + argument + "' -C '" + folder + "'" + members).c_str()), 0);
    }
    const std::string options = "--format jsonl --trace --requests 2";
    const TRun run = HvpRun(options + " --jobs " + std::to_string(GetParam().fJobs) + " '" + argument + "'");
    EXPECT_EQ(run.fStatus, 2);  // one inventory cannot be read

    std::vector<std::string> expected;
    // The summary counts the findings of the single runs by their severity.
    std::map<std::string, int> severities{{"critical", 0}, {"warning", 0}, {"info", 0}};
    // And the machines whose single run examined no adapter and no controller.
    int noAdapter = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string file = GetParam().fArchive ? folder + "/" + kBatch[i].first : names[i];
        for (const std::string& record : SingleRun(options, file, names[i])) {
            expected.push_back(record);
            const ordered_json parsed = ordered_json::parse(record);
            if (parsed["type"] == "log" && parsed["level"].get<int>() >= 100)
                ++severities[parsed["severity"].get<std::string>()];
            if (parsed["type"] == "examined" && parsed["adapters"] == 0 && parsed["controllers"].empty())
                ++noAdapter;
        }
    }
    expected.push_back(
        "{\"type\":\"summary\",\"inventories\":6,\"completed\":3,\"withFindings\":3,\"failed\":2,"
        "\"unreadable\":1,\"crashed\":0,\"timedOut\":0,\"partial\":0,\"noAdapter\":" +
        std::to_string(noAdapter) + ",\"critical\":" + std::to_string(severities["critical"]) +
        ",\"warning\":" + std::to_string(severities["warning"]) +
        ",\"info\":" + std::to_string(severities["info"]) + "}");
    const std::vector<std::string> got = Lines(run.fOut);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(ordered_json::parse(got[i]).dump(), ordered_json::parse(expected[i]).dump())
            << "record " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(Fleet, Batch,
    ::testing::Values(TBatchCase{false, 1}, TBatchCase{false, 2}, TBatchCase{true, 1}, TBatchCase{true, 2}),
    [](const ::testing::TestParamInfo<TBatchCase>& one) {
        return std::string(one.param.fArchive ? "Archive" : "Folder") + "Jobs" +
            std::to_string(one.param.fJobs);
    });

class ExitStatus : public ::testing::TestWithParam<TTextCase> { };

TEST_P(ExitStatus, IsTheHighestThatApplies)
{
    const auto placed = [](const std::string& text) {
        return Placed(text, {{"SRC", TARVOANAL_SOURCE_DIR}, {"PLUGIN", TARVOANAL_MISBEHAVING_PLUGIN}});
    };
    TTempFolder temp("fleet-status");
    const TRun run = HvpRun(placed(GetParam()["args"]), temp / "stderr");
    EXPECT_EQ(run.fStatus, GetParam().Number("status"));
    if (GetParam().fValues.count("stdout")) {
        EXPECT_EQ(run.fOut, placed(Unescaped(GetParam()["stdout"])));
    }
    const std::vector<std::string> said = Lines(ReadFile(temp / "stderr"));
    if (!GetParam()["stderr holds"].empty()) {
        EXPECT_NE(std::find(said.begin(), said.end(), GetParam()["stderr holds"]), said.end()) << said.size();
    }
    if (GetParam().fValues.count("stderr")) {
        EXPECT_EQ(ReadFile(temp / "stderr"), Unescaped(GetParam()["stderr"]));
    }
}

INSTANTIATE_TEST_SUITE_P(Fleet, ExitStatus,
    ::testing::ValuesIn(
        ReadTextCases(TARVOANAL_TEST_DIR "/exit_statuses.cases", "args|status|stderr|stderr holds|stdout")),
    TTextCaseName());

TEST(Interruption, StopsTheWorkersAndKeepsWholeLines)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 8, 902, 902, 9});
    const std::string out = temp / "out.jsonl";
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t pid = StartHvpRun(
        {"--format", "jsonl", "--jobs", "3", "--plugin", TARVOANAL_MISBEHAVING_PLUGIN, folder}, out);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(InterruptedBySigint(pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(AnyWorkerLeft());
    const std::string text = ReadFile(out);
    // The two inventories before the first hanging one (what was examined,
    // the plug-in, the request, its line), and the records that one sent
    // before it hung, whole; nothing of the later ones.
    ASSERT_EQ(Records(text).size(), 11u) << text;
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
