// The catalogue of the plug-in's lines: each kind's severity and fields, as
// the contract's table and the lines' own texts say; every line the golden
// cases hold is known; and the comparison with an earlier run.
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "baseline.hpp"
#include "case_file.hpp"
#include "catalogue.hpp"
#include "inventory.hpp"
#include "machine_identity.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using tarvorun::Classify;
using tarvorun::SeverityName;
using tarvorun::TRecord;

const std::vector<tarvotest::TTextCase> kLines =
    tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/catalogue_lines.cases", "fields|kind|level|severity|text");

class CatalogueLine : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(CatalogueLine, HasItsKindSeverityAndFields)
{
    const int level = GetParam().Number("level");
    const std::string text = tarvotest::Unescaped(GetParam()["text"]);
    const tarvorun::TClassified meaning = Classify(level, text);
    EXPECT_EQ(meaning.fKind, GetParam()["kind"]);
    EXPECT_EQ(SeverityName(meaning.fSeverity), GetParam()["severity"]);
    EXPECT_EQ(meaning.fFields.dump(), GetParam()["fields"]);
    // Weighed without its fields, as the text form and the counts do.
    const tarvorun::TLineWeight weight = tarvorun::Weigh(level, text);
    EXPECT_EQ(weight.fKind, GetParam()["kind"]);
    EXPECT_EQ(SeverityName(weight.fSeverity), GetParam()["severity"]);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueLine, ::testing::ValuesIn(kLines), tarvotest::TTextCaseName());

// Every line the golden cases expect of the plug-in is one the catalogue
// knows: none of the plug-in's own lines is "other".
TEST(Catalogue, KnowsEveryLineOfTheGoldenCases)
{
    const std::regex log(R"re(^\{"type":"log","level":([0-9]+),"text":("([^"\\]|\\.)*")\}$)re");
    std::size_t lines = 0;
    std::set<std::string> kinds;
    for (const auto& entry : std::filesystem::directory_iterator(TARVOANAL_GOLDEN_DIR)) {
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            if (!std::regex_match(line, match, log))
                continue;
            const std::string text = TRecord::parse(match[2].str()).get<std::string>();
            const tarvorun::TClassified meaning = Classify(std::stoi(match[1].str()), text);
            EXPECT_NE(meaning.fKind, "other") << entry.path().filename() << ": " << text;
            kinds.insert(meaning.fKind);
            ++lines;
        }
    }
    EXPECT_GT(lines, 200u);
    // Every kind of the table but the allocation failure, which no inventory
    // can give, has a golden line.
    EXPECT_EQ(kinds.size() + 1, tarvorun::FindingKinds().size());
}

TEST(Catalogue, EveryKindHasItsWordsAndTheManualPageListsIt)
{
    const std::string page = tarvorun::FindingsManualPage("1.0.0");
    std::set<std::string_view> ids;
    for (const tarvorun::TFindingKind& kind : tarvorun::FindingKinds()) {
        EXPECT_TRUE(ids.insert(kind.fId).second) << kind.fId << " twice";
        EXPECT_FALSE(kind.fTitle.empty() || kind.fMeaning.empty() || kind.fAdvice.empty()) << kind.fId;
        std::string roffId;
        for (const char c : kind.fId)
            roffId += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(".B " + roffId + "\n"), std::string::npos) << kind.fId;
    }
}

TEST(Baseline, MatchesMachinesByIdOrByNameWithoutTheArchive)
{
    tarvotest::TTempFolder temp("baseline");
    tarvotest::WriteFile(temp / "old.jsonl",
        R"({"type":"machine","inventory":"a-1201.tar.gz:web01.json","hostname":"web01","machineId":"m1","collectedAt":null}
{"type":"plugin","inventory":"a-1201.tar.gz:web01.json","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"}
{"type":"log","inventory":"a-1201.tar.gz:web01.json","level":100,"text":"one","kind":"other","severity":"warning"}
{"type":"plugin","inventory":"a-1201.tar.gz:db01.json","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"}
{"type":"log","inventory":"a-1201.tar.gz:db01.json","level":100,"text":"two"}
{"type":"log","inventory":"a-1201.tar.gz:db01.json","level":0,"text":"not a finding"}
)");
    tarvorun::TBaseline baseline;
    std::string problem;
    ASSERT_TRUE(baseline.AddFile(temp / "old.jsonl", problem)) << problem;
    // By id, whatever the name.
    const auto* byId = baseline.Find("elsewhere/renamed.json", "m1");
    ASSERT_NE(byId, nullptr);
    EXPECT_EQ(byId->at(0).fText, "one");
    // By name, the archive left out; two different ids are two machines.
    const auto* byName = baseline.Find("a-1208.tar.gz:db01.json", "");
    ASSERT_NE(byName, nullptr);
    ASSERT_EQ(byName->size(), 1u);
    EXPECT_EQ(byName->at(0).fKind, "other");
    EXPECT_EQ(baseline.Find("a-1208.tar.gz:web01.json", "m2"), nullptr);
    EXPECT_EQ(baseline.Find("new.json", ""), nullptr);
}

// Clones of one image share a machine id: the id tells neither apart, so
// each is matched by its name, and a third name finds neither.
TEST(Baseline, MachinesThatShareAnIdAreMatchedByName)
{
    tarvotest::TTempFolder temp("baseline");
    std::string old;
    for (const std::string name : {"c1.json", "c2.json"})
        old += R"({"type":"machine","inventory":")" + name +
            R"(","hostname":"h","machineId":"m9","collectedAt":null}
{"type":"plugin","inventory":")" +
            name + R"(","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"}
{"type":"log","inventory":")" +
            name + R"(","level":100,"text":")" + name + "\"}\n";
    tarvotest::WriteFile(temp / "old.jsonl", old);
    tarvorun::TBaseline baseline;
    std::string problem;
    ASSERT_TRUE(baseline.AddFile(temp / "old.jsonl", problem)) << problem;
    for (const std::string name : {"c1.json", "c2.json"}) {
        const auto* found = baseline.Find(name, "m9");
        ASSERT_NE(found, nullptr) << name;
        ASSERT_EQ(found->size(), 1u);
        EXPECT_EQ(found->at(0).fText, name);
    }
    EXPECT_EQ(baseline.Find("c3.json", "m9"), nullptr);
}

TEST(Baseline, FindingsMatchAsManyTimesAsTheyOccur)
{
    const std::vector<tarvorun::TOldFinding> old = {
        {"k", "warning", "a"}, {"k", "warning", "a"}, {"k", "critical", "b"}, {"j", "info", "a"}};
    tarvorun::TBaselineTracker tracker(&old);
    EXPECT_STREQ(tracker.Take("k", "a"), "same");
    EXPECT_STREQ(tracker.Take("k", "c"), "new");
    EXPECT_STREQ(tracker.Take("k", "a"), "same");
    EXPECT_STREQ(tracker.Take("k", "a"), "new");
    const std::vector<tarvorun::TOldFinding> gone = tracker.Gone();
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0].fText, "b");
    EXPECT_EQ(gone[1].fKind, "j");
    EXPECT_EQ(tracker.NewCount(), 2u);
}

// The identity the loader keeps from the inventory's own comment members:
// the last of a name given twice, its text without the white space around.
tarvorun::TMachineIdentity IdentityOf(const std::string& text)
{
    const auto inventory = NQXRHVP20::standin::TInventory::LoadText(text, "x.json");
    return tarvorun::ReadMachineIdentity(inventory->Comment("_machine"), inventory->Comment("_problems"));
}

TEST(MachineIdentity, RecordsComeFromTheCommentMembers)
{
    const tarvorun::TMachineIdentity identity =
        IdentityOf(R"({"_machine":{"hostname":"old"}, "_machine" : {"kernel":"6.1","hostname":"web01",)"
                   R"("machineId":"abc"} ,"classes":{},"_problems":["pci: cannot read", 7]  })");
    const std::vector<TRecord> records = tarvorun::IdentityRecords(identity, "x.json");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].dump(),
        R"({"type":"machine","inventory":"x.json","hostname":"web01","machineId":"abc","collectedAt":null,"kernel":"6.1"})");
    EXPECT_EQ(
        records[1].dump(), R"({"type":"partial","inventory":"x.json","problems":["pci: cannot read"]})");
    EXPECT_TRUE(tarvorun::IdentityRecords(IdentityOf(R"({"_problems":[],"_machine":"web01"})"), "").empty());
}

}  // namespace
