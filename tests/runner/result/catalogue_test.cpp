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
    std::vector<tarvorun::TFindingKind> kinds = tarvorun::FindingKinds();
    kinds.insert(kinds.end(), tarvorun::DeviceChangeKinds().begin(), tarvorun::DeviceChangeKinds().end());
    for (const tarvorun::TFindingKind& kind : kinds) {
        EXPECT_TRUE(ids.insert(kind.fId).second) << kind.fId << " twice";
        EXPECT_NE(tarvorun::FindKind(kind.fId), nullptr) << kind.fId;
        EXPECT_FALSE(kind.fTitle.empty() || kind.fMeaning.empty() || kind.fAdvice.empty()) << kind.fId;
        std::string roffId;
        for (const char c : kind.fId)
            roffId += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(".B " + roffId + "\n"), std::string::npos) << kind.fId;
    }
}

// An earlier fleet run, written by hand: machines known by id, by host name
// or by name alone, two clones that share an id and a host name, an
// inventory that could not be read and a machine that was missing then.
std::string EarlierFleet()
{
    std::string text;
    const auto machine = [&](const std::string& name, const std::string& identity, const std::string& line) {
        text += R"({"type":"machine","inventory":")" + name + "\"," + identity + ",\"collectedAt\":null}\n" +
            R"({"type":"plugin","inventory":")" + name +
            R"(","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})" + "\n" +
            R"({"type":"log","inventory":")" + name + R"(","level":100,"text":")" + line + "\"}\n" +
            R"({"type":"log","inventory":")" + name + R"(","level":0,"text":"not a finding"})" + "\n";
    };
    machine("fleet/rack1/web01.json", R"("hostname":"web01","machineId":"m1")", "web01's");
    machine("site-a-1201.tar.gz:rack1/db01.json", R"("hostname":null,"machineId":null)", "db01's");
    machine("fleet/rack2/app01.json", R"("hostname":"app01","machineId":null)", "app01's");
    machine("fleet/rack1/c1.json", R"("hostname":"localhost","machineId":"m9")", "c1's");
    machine("fleet/rack1/c2.json", R"("hostname":"localhost","machineId":"m9")", "c2's");
    text +=
        R"({"type":"error","inventory":"fleet/rack3/bad.json","message":"x","end":"unreadable"})"
        "\n"
        R"({"type":"missing","inventory":"fleet/rack3/gone.json","hostname":"gone01","machineId":null})"
        "\n"
        R"({"type":"summary","inventories":6,"completed":5,"withFindings":5,"failed":0,"unreadable":1,"crashed":0,"timedOut":0})"
        "\n";
    return text;
}

tarvorun::TBaseline ReadBaseline(const std::string& text)
{
    tarvotest::TTempFolder temp("baseline");
    tarvotest::WriteFile(temp / "old.jsonl", text);
    tarvorun::TBaseline baseline;
    std::string problem;
    EXPECT_TRUE(baseline.AddFile(temp / "old.jsonl", problem)) << problem;
    return baseline;
}

struct TMatchCase {
    const char* fWhy;
    const char* fName;
    const char* fRelative;
    const char* fHostname;
    const char* fMachineId;
    // The earlier run's name of the machine found, or "" for none.
    const char* fFound;
};

// Machine id first, then host name, then the name within the folder or
// archive; an identity both sides tell and that differs is two machines.
TEST(Baseline, MatchesMachinesByIdThenHostNameThenRelativeName)
{
    const tarvorun::TBaseline baseline = ReadBaseline(EarlierFleet());
    const TMatchCase cases[] = {
        {"by id, whatever the name", "elsewhere/renamed.json", "renamed.json", "", "m1",
            "fleet/rack1/web01.json"},
        {"two ids are two machines", "fleet/rack1/web01.json", "rack1/web01.json", "", "m2", ""},
        {"by host name, after a rename", "new/place.json", "place.json", "app01", "",
            "fleet/rack2/app01.json"},
        {"two host names are two machines", "fleet/rack2/app01.json", "rack2/app01.json", "app02", "", ""},
        {"the folder renamed", "fleet2/rack1/web01.json", "rack1/web01.json", "", "",
            "fleet/rack1/web01.json"},
        {"the folder given with ./", "./fleet/rack2/app01.json", "rack2/app01.json", "", "",
            "fleet/rack2/app01.json"},
        {"a later dated archive", "site-a-1208.tar.gz:rack1/db01.json", "rack1/db01.json", "", "",
            "site-a-1201.tar.gz:rack1/db01.json"},
        {"a rack run alone", "copy/web01.json", "web01.json", "", "", "fleet/rack1/web01.json"},
        {"another rack is another machine", "fleet/rack9/web01.json", "rack9/web01.json", "", "", ""},
        {"a clone by its name", "fleet/rack1/c2.json", "rack1/c2.json", "localhost", "m9",
            "fleet/rack1/c2.json"},
        {"a third clone finds neither", "fleet/rack1/c3.json", "rack1/c3.json", "localhost", "m9", ""},
        {"an unreadable inventory is a machine", "fleet/rack3/bad.json", "rack3/bad.json", "", "",
            "fleet/rack3/bad.json"},
        {"a single run finds no fleet machine by name", "", "", "", "", ""},
    };
    for (const TMatchCase& one : cases) {
        const tarvorun::TBaselineMachine* found =
            baseline.Find(one.fName, one.fRelative, one.fHostname, one.fMachineId);
        EXPECT_EQ(found ? found->fName : std::string(), one.fFound) << one.fWhy;
    }
    // A machine's findings are its level-100 lines alone.
    const tarvorun::TBaselineMachine* web01 = baseline.Find("", "", "", "m1");
    ASSERT_NE(web01, nullptr);
    ASSERT_EQ(web01->fFindings.size(), 1u);
    EXPECT_EQ(web01->fFindings[0].fText, "web01's");
    EXPECT_EQ(web01->fFindings[0].fKind, "other");
}

// What the run did not find is missing, in name order, the earlier run's
// missing machine and unreadable inventory among them.
TEST(Baseline, MachinesNotFoundAreMissing)
{
    const tarvorun::TBaseline baseline = ReadBaseline(EarlierFleet());
    const std::set<const tarvorun::TBaselineMachine*> found = {
        baseline.Find("fleet/rack1/web01.json", "rack1/web01.json", "web01", "m1"),
        baseline.Find("site-a-1208.tar.gz:rack1/db01.json", "rack1/db01.json", "", "")};
    std::string missing;
    for (const tarvorun::TMissingMachine& machine : baseline.Missing(found))
        missing += machine.fName + "|" + machine.fRelative + "|" + machine.fHostname + "|" +
            machine.fMachineId + "\n";
    // The earlier run's names share no folder (db01 came from an archive):
    // each is named whole.
    EXPECT_EQ(missing,
        "fleet/rack1/c1.json|fleet/rack1/c1.json|localhost|m9\n"
        "fleet/rack1/c2.json|fleet/rack1/c2.json|localhost|m9\n"
        "fleet/rack2/app01.json|fleet/rack2/app01.json|app01|\n"
        "fleet/rack3/bad.json|fleet/rack3/bad.json||\n"
        "fleet/rack3/gone.json|fleet/rack3/gone.json|gone01|\n");
    // A run over one folder: the folder is left out of the names.
    const tarvorun::TBaseline folder = ReadBaseline(
        R"({"type":"error","inventory":"site/fleet/rack1/a.json","message":"x","end":"unreadable"})"
        "\n"
        R"({"type":"error","inventory":"./site/fleet/rack2/b.json","message":"x","end":"unreadable"})"
        "\n"
        R"({"type":"error","inventory":"site/fleet/c.json","message":"x","end":"unreadable"})"
        "\n");
    missing.clear();
    for (const tarvorun::TMissingMachine& machine : folder.Missing({}))
        missing += machine.fRelative + "\n";
    EXPECT_EQ(missing, "c.json\nrack1/a.json\nrack2/b.json\n");
}

TEST(Baseline, FindingsMatchAsManyTimesAsTheyOccur)
{
    const std::vector<tarvorun::TOldFinding> old = {
        {"k", "warning", "a"}, {"k", "warning", "a"}, {"k", "critical", "b"}, {"j", "info", "a"}};
    const tarvorun::TBaselineMachine machine{"m.json", "", "", "", old, std::nullopt};
    tarvorun::TBaselineTracker tracker(&machine);
    EXPECT_STREQ(tracker.Take("k", "a").fWord, "same");
    EXPECT_STREQ(tracker.Take("k", "c").fWord, "new");
    EXPECT_STREQ(tracker.Take("k", "a").fWord, "same");
    EXPECT_STREQ(tracker.Take("k", "a").fWord, "new");
    const std::vector<tarvorun::TOldFinding> gone = tracker.Gone();
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0].fText, "b");
    EXPECT_EQ(gone[1].fKind, "j");
    EXPECT_EQ(tracker.NewCount(), 2u);
}

// A finding about a disk is matched by its kind and disk first: a count
// that differs rose or fell from the earlier one, and is neither new nor
// resolved; without a count or a subject, the text decides as before.
TEST(Baseline, AFindingOfTheSameDiskRoseOrFell)
{
    const std::string disk1 = R"(disk serial "A1")", disk2 = R"(disk serial "B2")";
    const std::vector<tarvorun::TOldFinding> old = {
        {"device-soft-errors", "warning", "2 soft errors at 1 0 1", disk1, 2},
        {"device-soft-errors", "warning", "9 soft errors at 1 0 2", disk2, 9},
        {"device-hard-errors", "critical", "3 hard errors at 1 0 1", disk1, 3},
        {"device-pfa", "critical", "a PFA error at 1 0 1", disk1, std::nullopt}};
    const tarvorun::TBaselineMachine machine{"m.json", "", "", "2026-12-01T10:00:00Z", old, std::nullopt};
    tarvorun::TBaselineTracker tracker(&machine);
    struct {
        const char* fProves;
        const char* fKind;
        const char* fText;
        std::string fSubject;
        std::optional<long long> fCount;
        std::string fChange;
    } const cases[] = {
        {"a count that rose", "device-soft-errors", "50 soft errors at 1 0 1", disk1, 50,
            "rose from 2 since 2026-12-01T10:00:00Z"},
        {"a count that fell", "device-soft-errors", "4 soft errors at 1 0 2", disk2, 4,
            "fell from 9 since 2026-12-01T10:00:00Z"},
        {"another kind of the same disk is its own finding", "device-hard-errors", "3 hard errors at 1 0 1",
            disk1, 3, "same"},
        {"the same text without a count", "device-pfa", "a PFA error at 1 0 1", disk1, std::nullopt, "same"},
        {"a second line of the disk, once the first is matched, is new", "device-soft-errors",
            "7 soft errors at 1 0 1", disk1, 7, "new"},
    };
    for (const auto& one : cases) {
        const tarvorun::TLineChange change = tracker.Take(one.fKind, one.fText, one.fSubject, one.fCount);
        const std::string word = change.fWord;
        EXPECT_EQ(
            change.fWas ? word + " from " + std::to_string(*change.fWas) + " since " + change.fSince : word,
            one.fChange)
            << one.fProves;
    }
    EXPECT_TRUE(tracker.Gone().empty());
    EXPECT_EQ(tracker.NewCount(), 1u);
    EXPECT_EQ(tracker.RoseCount(), 1u);
}

// What tells a disk or a controller from another across runs.
TEST(Baseline, SubjectKeysTellDisksBySerialThenAddress)
{
    EXPECT_EQ(
        tarvorun::SubjectKey(TRecord::parse(R"({"controller":1,"channel":0,"scsiId":4,"serial":"5JB2C9"})")),
        R"(disk serial "5JB2C9")");
    EXPECT_EQ(
        tarvorun::SubjectKey(TRecord::parse(R"({"controller":1,"channel":0,"scsiId":4,"serial":null})")),
        "disk at 1 0 4");
    EXPECT_EQ(
        tarvorun::SubjectKey(TRecord::parse(R"({"controller":null,"channel":0,"scsiId":4,"serial":null})")),
        "");
    EXPECT_EQ(tarvorun::SubjectKey(TRecord::parse(R"({"controller":2,"model":"Model 8"})")), "controller 2");
    EXPECT_EQ(tarvorun::SubjectKey(TRecord()), "");
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
