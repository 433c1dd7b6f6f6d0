// Whole batches through hvp-run: each inventory's records equal those of a
// run of it alone, grouped, in input order, at any --jobs; the exit status
// is the highest that applies; Ctrl-C stops everything and keeps whole
// lines; a baseline marks what changed; the text form heads each inventory.
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

// A second run over the same folder, one inventory changed, given the first
// as its baseline, marks exactly the changed finding new and lists exactly
// the gone one as resolved.
TEST(Baseline, MarksTheChangedFindingsOfAFleetRun)
{
    TTempFolder temp("fleet-baseline");
    const fs::path folder = temp / "fleet";
    fs::create_directories(folder);
    const std::string source = TARVOANAL_SOURCE_DIR;
    fs::copy_file(source + "/examples/example.json", folder / "a.json");
    fs::copy_file(source + "/tests/runner/inventories/contract.json", folder / "b.json");
    const TRun first = HvpRun("--format jsonl '" + folder.string() + "'");
    std::ofstream(temp / "old.jsonl") << first.fOut;

    const std::string example = ReadFile(folder / "a.json"), from = R"("NumBadStripes": "12")";
    ASSERT_NE(example.find(from), std::string::npos);
    std::ofstream(folder / "a.json", std::ios::trunc)
        << Placed(example, {{from, R"("NumBadStripes": "13")"}});

    const TRun second =
        HvpRun("--format jsonl --baseline '" + (temp / "old.jsonl") + "' '" + folder.string() + "'");
    EXPECT_EQ(second.fStatus, 0);
    // The findings' texts by their change, a finding without one failing the
    // test; the resolved records whole.
    std::map<std::string, std::vector<std::string>> findings;
    for (ordered_json& record : Records(second.fOut)) {
        if (record["type"] == "log" && record["level"].get<int>() >= 100)
            findings[record["change"].get<std::string>()].push_back(record["text"]);
        if (record["type"] == "resolved")
            findings["resolved"].push_back(record.dump());
    }
    EXPECT_EQ(findings["new"],
        std::vector<std::string>{"Tarvolith: Logical drive 0 on controller 1 has 13 bad stripes"});
    EXPECT_EQ(findings["resolved"],
        std::vector<std::string>{R"({"type":"resolved","inventory":")" + (folder / "a.json").string() +
            R"(","kind":"bad-stripes","severity":"critical","text":"Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes"})"});
    EXPECT_GT(findings["same"].size(), 5u);
    EXPECT_EQ(findings.size(), 3u) << "a change other than new or same";
    ordered_json summary = Summary(second.fOut);
    EXPECT_EQ(summary["new"], 1);
    EXPECT_EQ(summary["resolved"], 1);

    // The text form compares the same machines: one line marked new, the
    // gone one resolved, the summary's counts alike.
    const TRun text = HvpRun("--baseline '" + (temp / "old.jsonl") + "' '" + folder.string() + "'");
    const std::size_t markedNew = text.fOut.find(" (new): ");
    EXPECT_NE(markedNew, std::string::npos) << text.fOut;
    EXPECT_EQ(text.fOut.find(" (new): ", markedNew + 1), std::string::npos) << text.fOut;
    EXPECT_NE(text.fOut.find("; 1 new, 1 resolved"), std::string::npos) << text.fOut;
}

// The folder renamed and one inventory deleted: the machines left are found
// by their names within the folder, so nothing is new or resolved, and the
// deleted one is missing, after the last inventory's records and before
// the summary, in each form; the check cannot call it healthy.
TEST(Baseline, AMachineDeletedIsMissingAndARenamedFolderChangesNothing)
{
    TTempFolder temp("fleet-missing");
    const fs::path folder = temp / "fleet", renamed = temp / "fleet2";
    fs::create_directories(folder);
    const std::string source = TARVOANAL_SOURCE_DIR;
    fs::copy_file(source + "/examples/example.json", folder / "a.json");
    fs::copy_file(source + "/tests/runner/inventories/contract.json", folder / "b.json");
    fs::copy_file(source + "/tests/runner/inventories/notice-once.json", folder / "c.json");
    std::ofstream(temp / "old.jsonl") << HvpRun("--format jsonl '" + folder.string() + "'").fOut;
    fs::rename(folder, renamed);
    fs::remove(renamed / "c.json");
    const std::string baseline = "--baseline '" + (temp / "old.jsonl") + "' ";

    const TRun second = HvpRun("--format jsonl " + baseline + "'" + renamed.string() + "/'");
    std::vector<ordered_json> records = Records(second.fOut);
    ASSERT_GE(records.size(), 2u) << second.fOut;
    std::size_t changed = 0;
    for (const ordered_json& record : records)
        if ((record["type"] == "log" && record.value("change", "same") != "same") ||
            record["type"] == "resolved")
            ++changed;
    EXPECT_EQ(changed, 0u) << second.fOut;
    EXPECT_EQ(records[records.size() - 2].dump(),
        R"({"type":"missing","inventory":")" + (folder / "c.json").string() +
            R"(","hostname":null,"machineId":null})");
    ordered_json summary = Summary(second.fOut);
    EXPECT_EQ(summary["missing"], 1);
    EXPECT_EQ(summary["new"], 0);
    EXPECT_EQ(summary["resolved"], 0);

    const TRun text = HvpRun(baseline + "'" + renamed.string() + "'");
    EXPECT_NE(text.fOut.find("== missing since the baseline: 1 machine\n" + (folder / "c.json").string() +
                  "\n== summary: "),
        std::string::npos)
        << text.fOut;
    EXPECT_NE(text.fOut.find("; 0 new, 0 resolved, 1 missing, 0 vanished, 0 rose\n"), std::string::npos)
        << text.fOut;

    const TRun check = HvpRun("--check " + baseline + "'" + renamed.string() + "'");
    EXPECT_NE(check.fOut.find("TARVOANAL CRITICAL - 3 machines: "), std::string::npos) << check.fOut;
    EXPECT_NE(check.fOut.find(
                  "\n" + (folder / "c.json").string() + ": UNKNOWN machine missing since the baseline\n"),
        std::string::npos)
        << check.fOut;
}

// The second run of a machine that lost its second controller with the disk
// behind it, and whose first disk was swapped: one vanished controller, one
// vanished disk and one replaced disk, after the machine's other records, in
// each form; the check is CRITICAL for them alone, and the metrics count
// them. A baseline of an older hvp-run, without examined records, compares
// no disk and says so once.
TEST(Baseline, DisksAndControllersThatChangedAreVanishedOrReplaced)
{
    TTempFolder temp("fleet-vanished");
    const fs::path folder = temp / "fleet";
    fs::create_directories(folder);
    const std::string example = ReadFile(std::string(TARVOANAL_SOURCE_DIR) + "/examples/example.json");
    std::ofstream(folder / "a.json") << example;
    const TRun first = HvpRun("--format jsonl '" + folder.string() + "'");
    std::ofstream(temp / "old.jsonl") << first.fOut;
    ordered_json inventory = ordered_json::parse(example);
    auto& classes = inventory["classes"];
    classes["QXRSG_tvSCSIProtocolController"].erase(1);
    classes["QXRSG_tvDiskDrive"].erase(2);
    classes["QXRSG_tvDiskDrive"][0]["DeviceSerialNum"] = "3HX9Z9";
    std::ofstream(folder / "a.json", std::ios::trunc) << inventory.dump();
    const std::string baseline = "--baseline '" + (temp / "old.jsonl") + "' ";
    const std::string name = (folder / "a.json").string();

    const TRun second = HvpRun("--format jsonl " + baseline + "'" + folder.string() + "'");
    std::vector<std::string> changes;
    for (const ordered_json& record : Records(second.fOut))
        if (record["type"] == "vanished" || record["type"] == "replaced" || record["type"] == "appeared")
            changes.push_back(record.dump());
    EXPECT_EQ(changes,
        (std::vector<std::string>{R"({"type":"vanished","inventory":")" + name +
                R"(","what":"controller","subject":{"controller":2,"model":"Model 8","driverVersion":"8.2.1","biosVersion":"8.24","pciAddress":null}})",
            R"({"type":"vanished","inventory":")" + name +
                R"(","what":"disk","subject":{"controller":2,"channel":0,"scsiId":4,"deviceCode":"QXR-HMLO 18G","serial":"5JB2C9","firmware":"C2B1","countsKnown":true}})",
            R"({"type":"replaced","inventory":")" + name +
                R"(","what":"disk","subject":{"controller":1,"channel":0,"scsiId":0,"deviceCode":"QXR-WVT 9.1G","serial":"3HX9Z9","firmware":"B1A0","countsKnown":false},"was":{"controller":1,"channel":0,"scsiId":0,"deviceCode":"QXR-WVT 9.1G","serial":"3HX0A1","firmware":"B1A0","countsKnown":false}})"}))
        << second.fOut;
    EXPECT_EQ(Summary(second.fOut)["vanished"], 2);

    const TRun text = HvpRun(baseline + "'" + folder.string() + "'");
    EXPECT_NE(text.fOut.find("vanished [critical]: controller: 2, Model 8, driver 8.2.1, BIOS 8.24\n"
                             "vanished [critical]: disk: QXR-HMLO 18G, serial 5JB2C9, firmware C2B1\n"
                             "replaced [info]: disk: QXR-WVT 9.1G, serial 3HX9Z9, firmware B1A0 "
                             "(was: disk: QXR-WVT 9.1G, serial 3HX0A1, firmware B1A0)\n"),
        std::string::npos)
        << text.fOut;

    // Without the example's own critical findings, the vanished make the
    // check CRITICAL; counted as warnings, it is WARNING.
    const std::string quiet = "--ignore device-pfa,bad-stripes ";
    const TRun check = HvpRun("--check " + quiet + baseline + "'" + folder.string() + "'");
    EXPECT_EQ(check.fStatus, 2) << check.fOut;
    EXPECT_NE(check.fOut.find("\n" + name +
                  ": CRITICAL disk-vanished: disk: QXR-HMLO 18G, serial 5JB2C9, firmware C2B1\n"),
        std::string::npos)
        << check.fOut;
    EXPECT_NE(check.fOut.find("\n" + name + ": INFO disk-replaced: disk: QXR-WVT 9.1G, serial 3HX9Z9"),
        std::string::npos)
        << check.fOut;
    EXPECT_EQ(
        HvpRun("--check --severity-map critical=warning " + quiet + baseline + "'" + folder.string() + "'")
            .fStatus,
        1);

    const std::string metrics = temp / "m.prom";
    HvpRun("--format jsonl --metrics '" + metrics + "' " + baseline + "'" + folder.string() + "' >/dev/null");
    const std::string figures = ReadFile(metrics);
    EXPECT_NE(figures.find("\ntarvoanal_vanished{what=\"disk\",inventory=\"a.json\"} 1\n"), std::string::npos)
        << figures;
    EXPECT_NE(
        figures.find("\ntarvoanal_vanished{what=\"controller\",inventory=\"a.json\"} 1\n"), std::string::npos)
        << figures;

    // An older run's records, without examined: no change, one line said.
    std::string older;
    for (const std::string& line : Lines(first.fOut))
        if (line.find(R"("type":"examined")") == std::string::npos)
            older += line + "\n";
    std::ofstream(temp / "older.jsonl") << older;
    const std::string errors = temp / "older.stderr";
    const TRun againstOlder = HvpRun(
        "--format jsonl --baseline '" + (temp / "older.jsonl") + "' '" + folder.string() + "'", errors);
    EXPECT_EQ(againstOlder.fOut.find(R"("type":"vanished")"), std::string::npos) << againstOlder.fOut;
    EXPECT_EQ(
        ReadFile(errors).find("hvp-run: the baseline has no examined records (an older hvp-run's): disks and "
                              "controllers are not compared with it\n"),
        0u)
        << ReadFile(errors);
}

// A disk whose soft errors went from 2 to 50: its finding is matched by its
// disk, marked rose with the earlier count, and is neither new nor
// resolved; the text says since when, by the earlier inventory's time.
TEST(Baseline, ACountThatRoseIsOneFindingMarkedRose)
{
    TTempFolder temp("fleet-rose");
    const fs::path folder = temp / "fleet";
    fs::create_directories(folder);
    // The example as a collector dates it.
    const std::string example = R"({"_machine": {"collectedAt": "2026-12-01T10:00:00Z"},)" +
        ReadFile(std::string(TARVOANAL_SOURCE_DIR) + "/examples/example.json").substr(1);
    std::ofstream(folder / "a.json") << example;
    std::ofstream(temp / "old.jsonl") << HvpRun("--format jsonl '" + folder.string() + "'").fOut;
    const std::string from = R"("NumSoftErrors": 2,)";
    ASSERT_NE(example.find(from), std::string::npos);
    std::ofstream(folder / "a.json", std::ios::trunc) << Placed(example, {{from, R"("NumSoftErrors": 50,)"}});
    const std::string baseline = "--baseline '" + (temp / "old.jsonl") + "' ";

    const TRun second = HvpRun("--format jsonl " + baseline + "'" + folder.string() + "'");
    std::vector<std::string> changed;
    for (const ordered_json& record : Records(second.fOut))
        if ((record["type"] == "log" && record.value("change", "same") != "same") ||
            record["type"] == "resolved")
            changed.push_back(record["type"].get<std::string>() + " " + record.value("change", "") + " " +
                std::to_string(record.value("was", -1)) + " " + record.value("text", ""));
    EXPECT_EQ(changed,
        std::vector<std::string>{
            "log rose 2 Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported 50 soft errors"})
        << second.fOut;
    const ordered_json summary = Summary(second.fOut);
    EXPECT_EQ(summary["rose"], 1);
    EXPECT_EQ(summary["new"], 0);
    EXPECT_EQ(summary["resolved"], 0);

    const TRun text = HvpRun(baseline + "'" + folder.string() + "'");
    EXPECT_NE(text.fOut.find(
                  "finding [warning] (rose from 2 to 50 since 2026-12-01T10:00:00Z): Tarvolith: Controller 1 "
                  "Channel 0 Scsi ID 1 reported 50 soft errors\n"),
        std::string::npos)
        << text.fOut;
}

}  // namespace
