// Machines cloned from one image share a machine id. Within one run they
// are still two machines: hvp-run says so on standard error, once for each
// clone after the first, a report made later from the run's JSONL keeps
// every one of them, findings and all, and a run compared with that JSONL
// matches each clone with its own earlier run.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"

namespace {

using tarvotest::HvpRun;
using tarvotest::ReadFile;
using tarvotest::TTempFolder;

const std::string kId = "c10ae0c10ae0c10ae0c10ae0c10ae0c1";

// The example inventory as collected on a machine with the id `id`, its
// logical drive with `stripes` bad stripes: clones that differ in a finding.
std::string ExampleOf(const std::string& hostname, const std::string& id, int stripes)
{
    std::string example = ReadFile(TARVOANAL_SOURCE_DIR "/examples/example.json");
    const std::string count = "\"NumBadStripes\": \"12\"";
    example.replace(
        example.find(count), count.size(), "\"NumBadStripes\": \"" + std::to_string(stripes) + "\"");
    return "{\"_machine\": {\"hostname\": \"" + hostname + "\", \"machineId\": \"" + id + "\"}, " +
        example.substr(example.find('{') + 1);
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct TClonesCase {
    const char* fName;
    // Each inventory's file name and machine id, in input order.
    std::vector<std::pair<std::string, std::string>> fMachines;
    // What standard error says, FLEET standing for the folder.
    std::vector<std::string> fSaid;
    std::size_t fWithTheId;
};

const std::string kNote = "; machines of one run that share an id are told apart by their names";

const std::vector<TClonesCase> kCases = {
    {"TwoClones", {{"a.json", kId}, {"b.json", kId}},
        {"hvp-run: FLEET/b.json has the machine id of FLEET/a.json" + kNote}, 2},
    {"ThreeClonesNamedEachOnce", {{"a.json", kId}, {"b.json", kId}, {"c.json", kId}},
        {"hvp-run: FLEET/b.json has the machine id of FLEET/a.json" + kNote,
            "hvp-run: FLEET/c.json has the machine id of FLEET/a.json" + kNote},
        3},
    {"MachinesOfTheirOwnIds", {{"a.json", kId}, {"b.json", "0ther0ther0ther0ther0ther0ther01"}}, {}, 1},
};

class SharedMachineIds : public ::testing::TestWithParam<TClonesCase> { };

TEST_P(SharedMachineIds, AreTwoMachinesSaidOnceAndKeptByTheReport)
{
    TTempFolder temp("shared-ids");
    const std::string fleet = temp / "fleet";
    int stripes = 12;
    for (const auto& [name, id] : GetParam().fMachines)
        tarvotest::WriteFile(fleet + "/" + name, ExampleOf("clone", id, stripes++));
    const tarvotest::TRun run =
        HvpRun("--quiet --format jsonl '" + fleet + "' >'" + temp / "run.jsonl" + "'", temp / "stderr");
    ASSERT_EQ(run.fStatus, 0) << ReadFile(temp / "stderr");
    std::vector<std::string> expected;
    for (const std::string& line : GetParam().fSaid)
        expected.push_back(tarvotest::Placed(line, {{"FLEET", fleet}}));
    EXPECT_EQ(tarvotest::Lines(ReadFile(temp / "stderr")), expected);

    // The report from the JSONL: every machine kept, none "given before".
    const tarvotest::TRun report = HvpRun(
        "--report '" + temp / "r.html" + "' --from-jsonl '" + temp / "run.jsonl" + "'", temp / "stderr");
    EXPECT_EQ(report.fStatus, 0);
    EXPECT_EQ(ReadFile(temp / "stderr").find("given before"), std::string::npos) << ReadFile(temp / "stderr");
    EXPECT_EQ(Occurrences(ReadFile(temp / "r.html"), kId), GetParam().fWithTheId);

    // Run again unchanged against the first run: each clone matches its own
    // earlier run by its name, so nothing is new, resolved or missing.
    const tarvotest::TRun again = HvpRun("--quiet --format jsonl --baseline '" + temp / "run.jsonl" + "' '" +
            fleet + "' >'" + temp / "again.jsonl" + "'",
        temp / "stderr");
    EXPECT_EQ(again.fStatus, 0) << ReadFile(temp / "stderr");
    const std::vector<std::string> records = tarvotest::Lines(ReadFile(temp / "again.jsonl"));
    ASSERT_FALSE(records.empty());
    EXPECT_NE(
        records.back().find(R"("new":0,"resolved":0,"missing":0,"vanished":0,"rose":0})"), std::string::npos)
        << records.back();
    EXPECT_EQ(Occurrences(ReadFile(temp / "again.jsonl"), R"("change":"new")"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Fleet, SharedMachineIds, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<TClonesCase>& one) { return std::string(one.param.fName); });

}  // namespace
