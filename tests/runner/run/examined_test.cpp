// What a run examined and what each finding is about: the counts and objects
// from the recorded machines, the example and inventories that lack or fail
// what is asked, and the subject the run gives each line the plug-in logs,
// all compared with values written by hand (examined.cases).
#include <algorithm>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "catalogue.hpp"
#include "examined.hpp"
#include "harness.hpp"
#include "inventory.hpp"
#include "output.hpp"
#include "run_collector.hpp"

namespace {

using tarvorun::TExamined;
using tarvorun::TRecord;

const char* const kKeys = "file|inventory|examined|line|subjects";

std::string InventoryText(const tarvotest::TTextCase& one)
{
    if (one.fValues.count("file"))
        return tarvotest::ReadFile(std::filesystem::path(TARVOANAL_SOURCE_DIR) / one["file"]);
    return one["inventory"];
}

std::vector<tarvotest::TTextCase> Cases()
{
    return tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/examined.cases", kKeys);
}

// The cases that list the plug-in's lines.
std::vector<tarvotest::TTextCase> CasesWithSubjects()
{
    std::vector<tarvotest::TTextCase> cases = Cases();
    cases.erase(std::remove_if(cases.begin(), cases.end(),
                    [](const tarvotest::TTextCase& one) { return one.fValues.count("subjects") == 0; }),
        cases.end());
    return cases;
}

class Examined : public ::testing::TestWithParam<tarvotest::TTextCase> { };
class Subjects : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(Examined, CountsWhatTheInventoryHolds)
{
    const tarvotest::TTextCase& one = GetParam();
    const auto inventory = NQXRHVP20::standin::TInventory::LoadText(InventoryText(one), one.fName);
    const TExamined examined = tarvorun::CountExamined(*inventory);
    EXPECT_EQ(tarvorun::ExaminedMembers(examined).dump(), TRecord::parse(one["examined"]).dump());
    EXPECT_EQ(tarvorun::ExaminedLine(examined), one["line"]);
}

// The run's collector in front of the plug-in, keeping each line with the
// meaning and the subject it gave it.
class TKeptLines : public tarvorun::IRunSink {
public:
    void OnExamined(const TExamined& examined) override
    {
        fCollector.OnExamined(examined);
        fEvents.push_back("examined");
    }
    void OnPlugin(const tarvorun::TIdentity& identity) override
    {
        fCollector.OnPlugin(identity);
        fEvents.push_back("plugin");
    }
    void OnRequest(int) override { }
    void OnLog(int level, const std::string& text, const std::optional<tarvorun::TSubject>& lastRead) override
    {
        fCollector.OnLog(level, text, lastRead);
        fLines.push_back(fCollector.LastLine());
    }
    void OnCall(const tarvorun::THostCall&) override { }
    void OnAssertion(const tarvorun::TAssertionReport&) override { }
    void OnFailure(const tarvorun::TFailure&) override { }

    std::vector<tarvorun::TKeptLine> fLines;
    std::vector<std::string> fEvents;

private:
    tarvorun::TNoRecords fForm;
    tarvorun::TRunCollector fCollector{fForm, nullptr, "", "", true};
};

// Untraced, as most runs are: the subject comes from what the plug-in read,
// whether or not its calls are recorded.
TEST_P(Subjects, NameTheDiskOrControllerOfEachFinding)
{
    const tarvotest::TTextCase& one = GetParam();
    tarvorun::TRunSettings settings = tarvotest::DefaultSettings();
    settings.fTrace = false;
    TKeptLines kept;
    tarvorun::RunPlugin(
        settings, NQXRHVP20::standin::TInventory::LoadText(InventoryText(one), one.fName), kept);
    std::string subjects;
    for (const tarvorun::TKeptLine& line : kept.fLines)
        subjects += line.fKind + " => " +
            (line.fSubject.is_object() ? tarvorun::SubjectLine(line.fSubject) : "-") + "\n";
    EXPECT_EQ(subjects, one["subjects"] + (one["subjects"].empty() ? "" : "\n"));
    // What was examined is told once, before the plug-in's identity.
    ASSERT_GE(kept.fEvents.size(), 2u);
    EXPECT_EQ(kept.fEvents[0], "examined");
    EXPECT_EQ(kept.fEvents[1], "plugin");
}

INSTANTIATE_TEST_SUITE_P(Inventories, Examined, ::testing::ValuesIn(Cases()), tarvotest::TTextCaseName());
INSTANTIATE_TEST_SUITE_P(
    Inventories, Subjects, ::testing::ValuesIn(CasesWithSubjects()), tarvotest::TTextCaseName());

// The examined line of figures no recorded machine has.
TEST(ExaminedLine, GroupsLargeFiguresAndCountsOneInTheSingular)
{
    TExamined examined;
    examined.fPciFunctions = 1;
    EXPECT_EQ(tarvorun::ExaminedLine(examined), "examined: no adapter of the family among 1 PCI function");
    examined.fAdapters = 1;
    examined.fControllers.resize(1);
    examined.fDisks.resize(1234);
    examined.fDisks[5].fCountsKnown = true;
    examined.fPackages = 1163;
    examined.fEventLogRecords = 1;
    EXPECT_EQ(tarvorun::ExaminedLine(examined),
        "examined: 1 adapter, 1 controller, 1,234 disks (error counts of 1), 1,163 packages, 1 event-log "
        "record");
    examined.fPackages = 1000000;
    examined.fEventLogRecords = 0;
    examined.fDisks.clear();
    EXPECT_EQ(
        tarvorun::ExaminedLine(examined), "examined: 1 adapter, 1 controller, 0 disks, 1,000,000 packages");
}

// Subjects of which little is known still make a line.
TEST(SubjectLine, SaysWhatIsKnownAndNothingElse)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"({"controller":null,"channel":null,"scsiId":null,"deviceCode":null,"serial":null,"firmware":null,"countsKnown":false})",
            "disk: controller ? channel ? scsi id ?"},
        {R"({"controller":1,"channel":0,"scsiId":3,"deviceCode":"XD4410-146","serial":"3QK0A1B2","firmware":"S20A","countsKnown":true,"linux":{"block":"sdc","generic":"sg2","slot":"3"}})",
            "disk: XD4410-146, serial 3QK0A1B2, firmware S20A, /dev/sdc, slot 3"},
        {R"({"controller":1,"channel":0,"scsiId":3,"deviceCode":null,"serial":null,"firmware":null,"countsKnown":false,"linux":{"slot":"7"}})",
            "disk: slot 7"},
        {R"({"controller":null,"model":null,"driverVersion":null,"biosVersion":null,"pciAddress":null})",
            "controller: nothing known"},
        {R"({"controller":2,"model":null,"driverVersion":"8.2.1","biosVersion":null,"pciAddress":"0000:04:00.0"})",
            "controller: 2, driver 8.2.1, PCI 0000:04:00.0"},
    };
    for (const auto& [subject, line] : cases)
        EXPECT_EQ(tarvorun::SubjectLine(TRecord::parse(subject)), line) << subject;
}

}  // namespace
