// A fleet run compared with an earlier one, through hvp-run: what changed
// is marked, machines are found again whatever the folder was called, what
// is gone is missing, disks and controllers that vanished or were replaced
// are told, and a count that rose is one finding marked so. Expected
// records are written by hand from the comparison's rules.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hvp_run_process.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using namespace tarvotest;

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

// An earlier run kept in two files, a machine in each, given as two
// baselines in either order: both are read, so each machine finds its own
// earlier run and none is missing. A second baseline that cannot be read
// refuses the run as the first would.
TEST(Baseline, EveryBaselineGivenIsRead)
{
    TTempFolder temp("two-baselines");
    const fs::path folder = temp / "fleet";
    fs::create_directories(folder);
    const std::string source = TARVOANAL_SOURCE_DIR;
    fs::copy_file(source + "/examples/example.json", folder / "a.json");
    fs::copy_file(source + "/tests/runner/inventories/contract.json", folder / "b.json");
    const std::string fleet = "'" + folder.string() + "'";
    // Each machine's records in a file of its own, the summary in neither.
    std::map<std::string, std::string> files;
    for (ordered_json& record : Records(HvpRun("--format jsonl " + fleet).fOut))
        if (record.contains("inventory"))
            files[fs::path(record["inventory"].get<std::string>()).stem().string()] += record.dump() + "\n";
    ASSERT_EQ(files.size(), 2u);
    for (const auto& [name, text] : files)
        std::ofstream(temp / (name + ".jsonl")) << text;
    const std::string a = " --baseline '" + (temp / "a.jsonl") + "'";
    const std::string b = " --baseline '" + (temp / "b.jsonl") + "'";
    for (const std::string& baselines : {a + b, b + a}) {
        SCOPED_TRACE(baselines);
        const TRun run = HvpRun("--format jsonl" + baselines + " " + fleet);
        EXPECT_EQ(run.fStatus, 0);
        const ordered_json summary = Summary(run.fOut);
        EXPECT_EQ(summary["new"], 0);
        EXPECT_EQ(summary["resolved"], 0);
        EXPECT_EQ(summary["missing"], 0);
    }
    const std::string none = temp / "none.jsonl";
    const TRun refused =
        HvpRun("--format jsonl" + a + " --baseline '" + none + "' " + fleet, temp / "stderr");
    EXPECT_EQ(refused.fStatus, 2);
    EXPECT_EQ(refused.fOut.size(), 0u) << "records written";
    EXPECT_EQ(ReadFile(temp / "stderr"), "hvp-run: " + none + ": cannot open: No such file or directory\n");
}
